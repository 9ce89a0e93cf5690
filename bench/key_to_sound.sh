#!/usr/bin/env bash
# Key to sound: the real Batto on JACK's dummy driver at 48 kHz and PERIOD frames a period
# (default 64; the server real-time, as a musician runs it), on a display and a JACK server
# of its own; the drummer is started by the space bar, then key_to_sound_client plays notes
# into its JACK MIDI input and records its outputs 1 and 3 on the same frame clock (see
# bench/KeyToSoundClient.cpp for what it measures and how it tells the answers apart).
# Usage: bench/key_to_sound.sh [SECONDS=120] [PERIOD=64] [BATTO] [MIDI_IN_PORT]   (after scripts/build.sh;
# BATTO and MIDI_IN_PORT measure another build, such as an older one, the same way)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-120}
period=${2:-64}
BATTO=${3:-$root/build/standalone/Batto}
export BATTO_MIDI_IN=${4:-Batto:midi_in}
CLIENT=$root/build/bench/key_to_sound_client
[ -x "$BATTO" ] && [ -x "$CLIENT" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
source "$root/tests/standalone/check_support.sh"

# The kit folder: every voice that answers a note is 32 frames of constant level at 48 kHz,
# its first sample sounding (an attack of 0 frames); the voices of the groove (closed and open
# hi-hat, ride: 2, 3, 4) have no file and stay silent.
kit=$work/kit
mkdir -p "$kit"
python3 - "$kit" <<'PY'
import sys, wave
for voice in (0, 1, 5, 6, 7, 8, 9):
    with wave.open(f"{sys.argv[1]}/sample{voice}_15.wav", "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(48000)
        out.writeframes((16384).to_bytes(2, "little", signed=True) * 32)
PY

JACK_REALTIME=1 start_jack "$period"
start_display
# Two subdivisions a beat at 120; the metronome marks the beats; no automatic kick or snare.
write_settings tempo 120 divisionDuTemps 2 metronomeVolume 0.5 autokick 0 autosnare 0 \
    drumKit -4 battokitpath "$kit"
start_batto
focus_panel
press space
"$CLIENT" "$BATTO_MIDI_IN" Batto:out_1 Batto:out_3 "$seconds" 120 2
xruns=$(grep -ci xrun "$work/jackd.log" || true)
echo "the JACK server reported $xruns xruns meanwhile"
signal_batto TERM
