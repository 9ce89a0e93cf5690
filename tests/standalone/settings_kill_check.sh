#!/usr/bin/env bash
# The settings file follows a change while the program runs: a setting changed by a real
# click (the tempo slider) is in the file about a second later, and stays there when the
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
tempo_moved() {
    grep -q '<VALUE name="tempo" ' "$settings" && ! saved tempo 100
}
saved tempo 100 || fail "the settings file was not as written before the change"
# A click on the tempo slider's track sets the tempo of that place, however often it lands:
# on a busy machine the window may be listed before it takes clicks, and the click is then
# simply given again (a toggle could not be).
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove --window "$window" 200 175 click 1
    wait_seconds 3 tempo_moved && break
done
tempo_moved || fail "the tempo set by a click did not reach the settings file while Batto ran"
tempo=$(grep -o '<VALUE name="tempo" val="[^"]*"' "$settings" | sed 's/.*val="//; s/"$//')
kill -KILL "$batto_pid"
wait "$batto_pid" 2>/dev/null || true

python3 -c 'import sys, xml.etree.ElementTree as t; t.parse(sys.argv[1])' "$settings" \
    || fail "the settings file is not whole after the kill"
saved tempo "$tempo" || fail "the tempo set by the click ($tempo) was lost with the kill"
saved autosnare 0 || fail "the auto snare was lost with the kill"
echo "passed (tempo $tempo after the click)"
