#!/usr/bin/env bash
# The settings file follows a change while the program runs: a setting changed by a real
# click (auto snare on) is in the file about a second later, and stays there when the
# program is then killed outright (SIGKILL: no quit handler, no shut-down).
# Usage: settings_kill_check.sh BATTO
BATTO=$1
source "$(dirname "$0")/check_support.sh"
start_watchdog 160 "$work"
started+=("$watchdog_pid")

# No JACK server: a server stalls for many timeouts when a client of it is killed outright,
# and the settings need no audio device (Batto starts without one).
start_display
write_settings tempo 100 autosnare 0
launch_batto
wait_seconds 30 xdotool search --onlyvisible --name '^Batto$' || fail "no main window"
window=$(xdotool search --onlyvisible --name '^Batto$' | head -n 1)

saved() {
    grep -q "<VALUE name=\"$1\" val=\"$2\"/>" "$settings"
}
saved autosnare 0 || fail "the settings file was not as written before the change"
xdotool mousemove --window "$window" 315 137 click 1
wait_seconds 10 saved autosnare 1 || fail "the changed auto snare did not reach the settings file while Batto ran"
kill -KILL "$batto_pid"
wait "$batto_pid" 2>/dev/null || true

python3 -c 'import sys, xml.etree.ElementTree as t; t.parse(sys.argv[1])' "$settings" \
    || fail "the settings file is not whole after the kill"
saved autosnare 1 || fail "the changed auto snare was lost with the kill"
saved tempo 100 || fail "the tempo was lost with the kill"
echo "passed"
