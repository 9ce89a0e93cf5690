#!/usr/bin/env bash
# Frame-exact on JACK: the real program on JACK's dummy driver at PERIOD frames a period, the
# DRUM KIT choice "MIDI Output (Ch. 10)", notes played into Batto:midi_in at known frames and
# Batto:midi_out listened to on the same frame clock (jack_frames_client): every note answered
# at once lands on its own frame, in its own cycle, and every drum note on its grid frame.
# With LATER_PERIODS, the server then changes its period to each of them in turn while the
# drummer plays, and the same holds after every change.
# Usage: jack_frames_check.sh BATTO FRAMES_CLIENT PERIOD [LATER_PERIODS...]
BATTO=$1
CLIENT=$2
PERIOD=$3
shift 3
source "$(dirname "$0")/check_support.sh"
start_watchdog $((150 + 60 * $#)) "$work"
started+=("$watchdog_pid")

start_jack "$PERIOD"
start_display
write_settings drumKit -1 tempo 120 divisionDuTemps 2 autokick 0 autosnare 0
start_batto
focus_panel
press space
# Thirty hi-hats: about seven seconds of playing after the drummer started.
listen_to_frames() {
    "$CLIENT" Batto:midi_in Batto:midi_out 30 90 >"$work/frames.log" 2>&1 || { cat "$work/frames.log"; fail "drum notes off their frames at $1 frames a period"; }
    echo "at $1 frames a period:"
    cat "$work/frames.log"
}
period_is() {
    [ "$(jack_bufsize 2>/dev/null)" = "$1" ]
}
listen_to_frames "$PERIOD"
for later in "$@"; do
    jack_bufsize "$later" >/dev/null 2>&1 || fail "the server did not take a period of $later frames"
    wait_seconds 30 period_is "$later" || fail "the server's period is not $later frames"
    listen_to_frames "$later"
done
signal_batto TERM
echo "passed"
