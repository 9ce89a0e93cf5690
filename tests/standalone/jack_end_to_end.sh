#!/usr/bin/env bash
# The real program end to end on JACK's dummy driver (48 kHz, 256-frame periods, so that a
# machine busy with other tests skips few cycles), on a
# display of its own: the player's notes go in through jack_midiseq, the four outputs are
# recorded with jack_rec, the MIDI output choice is listened to with jack_midi_dump, and the
# program is ended by signals.
# Usage: jack_end_to_end.sh BATTO RECORDING_CHECK
BATTO=$1
CHECK=$2
source "$(dirname "$0")/check_support.sh"
start_watchdog 160 "$work"
started+=("$watchdog_pid")

export JACK_PERIOD=256
start_jack $JACK_PERIOD
start_display

# A note every 7001 frames: not a multiple of the grid (6000 frames between half
# subdivisions at 120 beats a minute), so that the notes fall at every place between two
# instants whenever the space bar started the drummer, and those that come after their
# instant are answered on the frame they arrive on.
start_notes() {
    jack_midiseq seq 7001 0 60 2000 >"$work/seq.log" 2>&1 &
    started+=($!)
    wait_seconds 30 has_port seq:out || fail "jack_midiseq did not start"
}
start_notes

# 1. The internal kit and the metronome: drums on the grid on outputs 1-2, clicks on 3-4,
#    and the notes answered. No automatic kick or snare: every kick and snare answers a note.
write_settings metronomeVolume 0.7 autokick 0 autosnare 0
start_batto
jack_connect seq:out "Batto:midi_in"
focus_panel
press space
record_until sounding || fail "the space bar did not start the drummer"
record "$work/playing.wav" 6
python3 "$CHECK" "$work/playing.wav" answers 24000 4 || fail "the recording of the drummer playing"

# A setting changed by a real click (auto snare on), the drummer stopped by the space bar:
# silence at once, then the program is closed as a closed terminal would.
xdotool mousemove --window "$window" 315 137 click 1
press space
record_until silent || fail "the drummer did not stop"
signal_batto HUP
grep -q '<VALUE name="autosnare" val="1"/>' "$settings" || fail "the changed auto snare was not saved"
grep -q '<VALUE name="metronomeVolume" val="0.7"/>' "$settings" || fail "the metronome volume was not saved"

# 2. The MIDI output choice: the drums leave as channel-10 note-ons on Batto:midi_out.
write_settings drumKit -1 autokick 0 autosnare 0
start_batto
jack_connect seq:out "Batto:midi_in"
jack_midi_dump dump >"$work/dump.txt" 2>&1 &
started+=($!)
wait_seconds 30 has_port dump:input || fail "jack_midi_dump did not start"
jack_connect "Batto:midi_out" dump:input
focus_panel
press space
wait_seconds 60 dump_holds "$work/dump.txt" ': 99 2a ' 6 || fail "too few hi-hats on the MIDI output"
wait_seconds 60 dump_holds "$work/dump.txt" ': 99 (24|26) ' 2 || fail "the notes were not answered on the MIDI output"
signal_batto TERM
grep -q '<VALUE name="drumKit" val="-1"/>' "$settings" || fail "the sound choice was not saved"

hats=$(grep -c ': 99 2a ' "$work/dump.txt" || true)
answers=$(grep -cE ': 99 (24|26) ' "$work/dump.txt" || true)
others=$(grep -E '^ *[0-9]+: ' "$work/dump.txt" | grep -vc ': 99 ' || true)
echo "MIDI output: $hats closed hi-hats, $answers kicks and snares answering the notes, $others other messages"
[ "$hats" -ge 6 ] || fail "too few hi-hats on the MIDI output"
[ "$answers" -ge 2 ] || fail "the notes were not answered on the MIDI output"
[ "$others" -eq 0 ] || fail "messages other than channel-10 note-ons on the MIDI output"
echo "passed"
