#!/usr/bin/env bash
# MIDI clock out on JACK: the real program on JACK's dummy driver at PERIOD frames a period,
# the DRUM KIT choice KIT, "midiClockOut" on, 120 bpm. A listener of the tests' own
# (jack_clock_listener) takes Batto:midi_out on JACK's frame clock: Song Position Pointer,
# Start, 24 clocks a quarter note each on its ideal frame, and Stop after STOP.
# Usage: jack_clock_out_check.sh BATTO LISTENER PERIOD KIT
BATTO=$1
LISTENER=$2
PERIOD=$3
KIT=$4
source "$(dirname "$0")/check_support.sh"
start_watchdog 150 "$work"
started+=("$watchdog_pid")

start_jack "$PERIOD"
start_display
write_settings drumKit "$KIT" tempo 120 divisionDuTemps 2 midiClockOut 1 syncSource Internal
start_batto
# Eight bars of clocks, then STOP.
"$LISTENER" Batto:midi_out $((8 * 96)) "$work/enough-clocks" 90 >"$work/clock.log" 2>&1 &
listener_pid=$!
started+=("$listener_pid")
wait_seconds 30 grep -q listening "$work/clock.log" || fail "the listener did not start"
focus_panel
press space
wait_seconds 60 test -e "$work/enough-clocks" || fail "too few clocks on the MIDI output"
press space
wait "$listener_pid" || { cat "$work/clock.log"; fail "the MIDI clock is not as it must be"; }
cat "$work/clock.log"
signal_batto TERM
echo "passed"
