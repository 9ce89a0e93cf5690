#!/usr/bin/env bash
# Follows JACK transport: the real program on JACK's dummy driver with the sync source
# "JACK transport" and the DRUM KIT choice "MIDI Output (Ch. 10)"; jack_transport_client rolls
# the transport from frame 0, locates it while rolling, stops it, and listens to Batto:midi_out
# on the transport's frames: the drummer starts and stops with the transport, its hits on the
# transport's grid to the frame, its bars on the transport's bars, re-placed by the locate.
# MODE "master": the client is the timebase master at 100 bpm 4/4 (the drummer's own tempo,
# 120, must not matter), locating to bar 5. MODE "frames": no timebase master, the drummer's
# own tempo (120) from frame 0, locating between two grid points of bar 3.
# Usage: jack_transport_check.sh BATTO TRANSPORT_CLIENT MODE [PERIOD (frames, default 256)]
BATTO=$1
CLIENT=$2
MODE=$3
PERIOD=${4:-256}
source "$(dirname "$0")/check_support.sh"
start_watchdog 150 "$work"
started+=("$watchdog_pid")

case "$MODE" in
master) bpm=100 locate=460800 ;; # bar 5: four bars of 115 200 frames
frames) bpm=120 locate=200000 ;; # a third of a beat past bar 3's line at 192 000
*) fail "unknown mode $MODE" ;;
esac

start_jack "$PERIOD"
start_display
write_settings drumKit -1 tempo 120 divisionDuTemps 2 autokick 0 autosnare 0 syncSource "JACK transport"
start_batto
"$CLIENT" "$MODE" "$bpm" "$locate" Batto:midi_out >"$work/transport.log" 2>&1 ||
    { cat "$work/transport.log"; fail "the drummer did not follow the JACK transport"; }
cat "$work/transport.log"
signal_batto TERM
echo "passed"
