#!/usr/bin/env bash
# Real key presses on the panel in a real window under Xvfb: the space bar starts and stops
# the drummer, shift with the space bar does neither. Usage: space_bar_check.sh CHECK_PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work

"$program" 20 >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do grep -q ready "$work/out" && break; sleep 0.1; done
window=$(xdotool search --sync --name "Batto panel check" | head -n 1)
xdotool windowfocus --sync "$window"
# A click on bare metal (right of the progression segments) gives the panel the keyboard.
xdotool mousemove --window "$window" 466 200 click 1
sleep 0.5

press() { xdotool key --clearmodifiers "$1"; sleep 0.6; }
press space
press shift+space
press space
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

transitions=$(grep -E '^(running|stopped)$' "$work/out" | tr '\n' ' ' || true)
echo "transport: $transitions"
[ "$transitions" = "running stopped " ] || { cat "$work/err" >&2; exit 1; }
