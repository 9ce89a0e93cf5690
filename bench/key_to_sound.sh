#!/usr/bin/env bash
# Key to sound: the real Batto on JACK's dummy driver at 48 kHz and 64 frames a period (the
# server real-time, as a musician runs it), on a
# display and a JACK server of its own; the drummer is started by the space bar, then
# key_to_sound_client plays notes into its JACK MIDI input and records its outputs 1 and 3 on
# the same frame clock (see bench/KeyToSoundClient.cpp for what it measures).
# Usage: bench/key_to_sound.sh [SECONDS=120]   (after scripts/build.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
BATTO=$root/build/standalone/Batto
CLIENT=$root/build/bench/key_to_sound_client
[ -x "$BATTO" ] && [ -x "$CLIENT" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
source "$root/tests/standalone/check_support.sh"

JACK_REALTIME=1 start_jack 64
start_display
# Two subdivisions a beat at 120; the metronome marks the beats; only kicks and snares sound,
# and only when they answer a note.
silent_voices=()
for voice in 2 3 4 5 6 7 8 9; do
    silent_voices+=("midiVelScale$voice" 0)
done
write_settings tempo 120 divisionDuTemps 2 metronomeVolume 0.5 autokick 0 autosnare 0 "${silent_voices[@]}"
start_batto
focus_panel
press space
"$CLIENT" "Batto:midi_in" Batto:out_1 Batto:out_3 "$seconds" 120
xruns=$(grep -ci xrun "$work/jackd.log" || true)
echo "the JACK server reported $xruns xruns meanwhile"
signal_batto TERM
