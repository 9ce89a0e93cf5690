#!/usr/bin/env bash
# Runs a command beside a JACK server of its own: the dummy driver at 48 kHz and 256 frames a
# period, under a name of its own (JACK_DEFAULT_SERVER), which the command's clients find.
# When the command fails, or hangs past the watchdog, the server's log is printed.
set -u
here=$(dirname "${BASH_SOURCE[0]}")
source "$here/jack_server.sh"
source "$here/check_waits.sh"
folder=$(mktemp -d /tmp/batto-jack-XXXXXX)
export JACK_DEFAULT_SERVER="batto-test-$$-$RANDOM"
start_watchdog 150 "$folder"
watchdog=$watchdog_pid
start_check_jack_server "$JACK_DEFAULT_SERVER" 256 "$folder/jackd.log"
server=$!
finish() {
    kill "$watchdog" "$server" 2>/dev/null
    wait "$watchdog" "$server" 2>/dev/null
    rm -rf "$folder"
}
trap finish EXIT
server_is_up() {
    jack_lsp 2>/dev/null | grep -qx 'system:playback_1'
}
if ! wait_seconds 60 server_is_up; then
    echo "with-jack-server: the JACK server did not start" >&2
    cat "$folder/jackd.log" >&2
    exit 1
fi
"$@"
status=$?
if [ "$status" -ne 0 ]; then
    echo "--- the JACK server's log" >&2
    cat "$folder/jackd.log" >&2
fi
exit "$status"
