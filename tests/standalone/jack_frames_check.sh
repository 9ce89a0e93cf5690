#!/usr/bin/env bash
# Frame-exact on JACK: the real program on JACK's dummy driver at PERIOD frames a period, the
# DRUM KIT choice "MIDI Output (Ch. 10)", notes played into Batto:midi_in at known frames and
# Batto:midi_out listened to on the same frame clock (jack_frames_client): every note answered
# at once lands on its own frame, in its own cycle, and every drum note on its grid frame.
# Usage: jack_frames_check.sh BATTO FRAMES_CLIENT PERIOD
BATTO=$1
CLIENT=$2
PERIOD=$3
source "$(dirname "$0")/check_support.sh"
start_watchdog 150 "$work"
started+=("$watchdog_pid")

start_jack "$PERIOD"
start_display
write_settings drumKit -1 tempo 120 divisionDuTemps 2 autokick 0 autosnare 0
start_batto
focus_panel
press space
# Thirty hi-hats: about seven seconds of playing after the drummer started.
"$CLIENT" Batto:midi_in Batto:midi_out 30 90 >"$work/frames.log" 2>&1 || { cat "$work/frames.log"; fail "drum notes off their frames"; }
cat "$work/frames.log"
signal_batto TERM
echo "passed"
