# Waiting in the checks that run real programs. Sourced.

# wait_seconds SECONDS COMMAND...: succeeds as soon as the command does; fails once SECONDS have
# gone by. The limit is time, not a number of tries: on a busy machine each try (a JACK client
# opening, a window being listed) takes longer, and a count of tries would then add up to far
# more than the check's own time limit.
wait_seconds() {
    local end=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# start_watchdog SECONDS LOG_FOLDER: should the check not have ended after SECONDS (one of its
# programs hanging), prints the logs in LOG_FOLDER, then ends the check and its programs, so
# that it fails with its logs before the test runner kills it without a word. Sets
# watchdog_pid: the check stops it when it ends.
start_watchdog() {
    local seconds=$1 folder=$2 check=$$
    (
        # Stopped in time (the check ended): its sleep goes with it.
        trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
        sleep "$seconds" </dev/null >/dev/null 2>&1 & # holds none of the check's output open
        sleeper=$!
        wait "$sleeper"
        trap '' TERM # from here on, the check's own clean-up must not stop it halfway
        echo "FAIL: no result after $seconds s" >&2
        for log in "$folder"/*.log "$folder"/*.txt; do
            [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
        done
        # Its programs are listed first: once the check has ended they are nobody's children.
        local children me=$BASHPID # taken here: inside $( ) BASHPID is the substitution's own
        children=$(pgrep -P "$check" | grep -vx "$me" || true)
        kill -TERM "$check" 2>/dev/null
        for child in $children; do
            kill -TERM "$child" 2>/dev/null
        done
    ) &
    watchdog_pid=$!
}
