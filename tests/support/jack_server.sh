# Starts a JACK server on the dummy driver for a check, under a name of the check's own. Sourced.
#
#   start_check_jack_server NAME PERIOD LOG [DUMMY DRIVER OPTIONS...]
#
# A check shares the machine with a build or other tests, so a client may finish its cycle
# late by far more than a period. An asynchronous server goes on without it and the cycle's
# output is lost: recordings then jump by whole periods and MIDI events go missing. This one
# runs synchronously (-S): each cycle waits until every client has finished, for up to the
# client timeout (-t, 2 s instead of half a second), so no cycle is lost; the dummy driver has
# no sound card to keep in time, so its frame clock only runs slow for a moment. The price:
# a client killed with SIGKILL stalls the server for ten timeouts, so checks end their
# clients with SIGTERM.
# Clients of a check never start a server of their own (JACK_NO_START_SERVER): one that comes
# too early, or after the server ended, fails at once and says so.
# JACK_REALTIME=1 runs the server real-time, as a musician would.
export JACK_NO_START_SERVER=1

start_check_jack_server() {
    local name=$1 period=$2 log=$3
    shift 3
    local realtime=--no-realtime
    [ "${JACK_REALTIME:-0}" = 1 ] && realtime=--realtime
    jackd -n "$name" $realtime -S -t 2000 -d dummy -r 48000 -p "$period" "$@" >"$log" 2>&1 &
}
