#!/usr/bin/env bash
# A real drag of a scale slider in the drum-map window under Xvfb (xdotool): while the thumb
# moves nothing changes in the processor and nothing plays; at the release the voice's scale
# takes the thumb's value and the voice previews once, at that scale.
# Usage: drum_map_drag_check.sh CHECK_PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work

fail() { echo "FAILED: $*" >&2; cat "$work/out" "$work/err" >&2; exit 1; }
wait_for_line() { # a regular expression, for at most ten seconds
    for _ in $(seq 100); do grep -qE "$1" "$work/out" && return 0; sleep 0.1; done
    return 1
}

"$program" 60 drum-map >"$work/out" 2>"$work/err" &
pid=$!
wait_for_line '^drum map ready$' || fail "the drum-map window did not show"
window=$(xdotool search --sync --onlyvisible --name '^MIDI Drum Map$' | head -n 1)
[ -n "$window" ] || fail "no drum-map window"

# The first voice's slider spans x 350..421 at y 50..74; its thumb starts at the right end
# (scale 1). Pressed near the right end, dragged to the middle in steps, released.
y=62
xdotool mousemove --window "$window" 414 $y mousedown 1
for x in 408 402 396 390 384; do
    xdotool mousemove --window "$window" $x $y
done
wait_for_line '^thumb 0\.[2-6]' || fail "the drag did not move the thumb"
! grep -qE '^(scale|preview) ' "$work/out" || fail "the drag changed the scale or previewed before the release"
xdotool mouseup 1
wait_for_line '^preview ' || fail "the release did not preview the voice"

# Escape hides the window: once that is reported, every event of the drag has been handled.
xdotool key --clearmodifiers Escape
wait_for_line '^drum map hidden$' || fail "Escape did not hide the drum-map window"
thumb=$(grep '^thumb ' "$work/out" | tail -n 1 | cut -d' ' -f2)
previews=$(grep -c '^preview ' "$work/out" || true)
scales=$(grep '^scale ' "$work/out" | tr '\n' ' ')
echo "thumb at $thumb; $scales; $previews preview(s): $(grep '^preview ' "$work/out" | tr '\n' ' ')"
[ "$previews" -eq 1 ] || fail "$previews previews for one drag"
[ "$scales" = "scale $thumb " ] || fail "the scale did not follow the thumb once: $scales"
# The preview's velocity is the scale times 127, and its note-on is scaled once more, both in
# single precision and truncated.
velocity=$(python3 -c '
import struct, sys
f32 = lambda v: struct.unpack("f", struct.pack("f", v))[0]
scale = f32(float(sys.argv[1]))
print(int(f32(int(f32(scale * 127.0)) * scale)))' "$thumb")
grep -qx "preview 38 $velocity" "$work/out" || fail "the preview was not the snare at the new scale ($velocity)"
echo "passed"
