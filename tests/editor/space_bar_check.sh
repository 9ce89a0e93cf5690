#!/usr/bin/env bash
# Real key presses on the panel in a real window under Xvfb: the space bar starts and stops
# the drummer, shift with the space bar does neither. Usage: space_bar_check.sh CHECK_PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work

fail() {
    echo "FAIL: $*" >&2
    echo "--- program output" >&2; cat "$work/out" >&2
    echo "--- program errors" >&2; tail -n 20 "$work/err" >&2
    exit 1
}
# Waits (up to 60 s: the machine may be busy) until the program has printed the line.
wait_for_line() {
    for _ in $(seq 600); do
        grep -qx "$1" "$work/out" && return 0
        sleep 0.1
    done
    return 1
}

"$program" 100 >"$work/out" 2>"$work/err" &
pid=$!
wait_for_line ready || fail "the window did not show"
window=$(xdotool search --sync --name "Batto panel check" | head -n 1)
xdotool windowfocus --sync "$window"
# A click on bare metal (right of the progression segments) gives the panel the keyboard; the
# display hands the program the click before the keys pressed after it.
xdotool mousemove --window "$window" 466 200 click 1

# Each start or stop is waited for before the next key: two keys read before the same block
# would make one request. "x" asks the program to say when it has read every key before it.
press() { xdotool key --clearmodifiers "$1"; }
press space
wait_for_line running || fail "the space bar did not start the drummer"
press shift+space
press space
wait_for_line stopped || fail "the space bar did not stop the drummer"
press x
wait_for_line "keys read" || fail "the program did not read the keys"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

transitions=$(grep -E '^(running|stopped)$' "$work/out" | tr '\n' ' ' || true)
echo "transport: $transitions"
[ "$transitions" = "running stopped " ] || fail "the keys did not start and stop the drummer once"
