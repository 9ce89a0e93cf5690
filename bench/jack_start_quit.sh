#!/usr/bin/env bash
# Start-up on JACK: the real Batto started against a running JACK server (dummy driver, 48 kHz,
# 256 frames a period) and quit RUNS times in a row, while two busy processes load the
# machine's cores beside it. A start counts as hung when its ports do not appear within 30 s,
# a quit when the program has not ended 30 s after SIGTERM.
# Usage: bench/jack_start_quit.sh [RUNS=50] [BATTO]   (after scripts/build.sh; BATTO_MIDI_IN names
# the MIDI input port that tells another build has started)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-50}
BATTO=${2:-$root/build/standalone/Batto}
[ -x "$BATTO" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
source "$root/tests/standalone/check_support.sh"

start_jack 256
start_display
write_settings autokick 0 autosnare 0
for _ in 1 2; do
    nice -n 19 sh -c 'while :; do :; done' &
    started+=($!)
done

# Ended: gone, or a zombie waiting to be reaped.
ended() { ! kill -0 "$1" 2>/dev/null || [ "$(ps -o stat= -p "$1" | cut -c1)" = Z ]; }
hung_starts=0
hung_quits=0
for run in $(seq "$runs"); do
    "$BATTO" >"$work/batto.log" 2>&1 &
    pid=$!
    if ! wait_seconds 30 has_port "${BATTO_MIDI_IN:-Batto:midi_in}"; then
        echo "run $run: no ports after 30 s" >&2
        hung_starts=$((hung_starts + 1))
    fi
    kill -TERM "$pid"
    if ! wait_seconds 30 ended "$pid"; then
        echo "run $run: still running 30 s after SIGTERM" >&2
        hung_quits=$((hung_quits + 1))
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
    # The server forgets the client before the next start.
    wait_seconds 30 bash -c '! jack_lsp 2>/dev/null | grep -q "^Batto:"' || true
done
echo "JACK start-up: $runs starts and quits under load, $hung_starts hung starts, $hung_quits hung quits"
