#!/usr/bin/env bash
# The drummer follows a MIDI clock with Song Position on JACK: the real program on JACK's dummy
# driver, the sync source "MIDI clock" and the MIDI output choice, a clock source of the check's
# own writing into Batto:midi_in at exact frames and listening to Batto:midi_out on the same
# frame clock (jack_midi_clock_client): Song Position to bar 3 and Continue at 120 bpm, a ramp to
# 140 bpm, then the clock stops arriving.
# Usage: jack_midi_clock_check.sh BATTO CLOCK_CLIENT PERIOD
BATTO=$1
CLIENT=$2
PERIOD=$3
source "$(dirname "$0")/check_support.sh"
start_watchdog 150 "$work"
started+=("$watchdog_pid")

start_jack "$PERIOD"
start_display
# The user's tempo is not the clock's: the clock's is the one followed.
write_settings drumKit -1 syncSource "MIDI clock" tempo 97 divisionDuTemps 2 autokick 1 autosnare 1
start_batto
"$CLIENT" Batto:midi_in Batto:midi_out 90 >"$work/clock.log" 2>&1 || { cat "$work/clock.log"; fail "drum notes off the clock"; }
cat "$work/clock.log"
signal_batto TERM
echo "passed"
