#!/usr/bin/env bash
# The LV2 bundle in hosts that share no code with JUCE: lilv's lv2ls and lv2info accept it,
# and jalv runs it on a JACK server of its own (dummy driver), with a keyboard part played by
# jack_midiseq and the drummer's output read by jack_midi_dump while JACK's transport rolls.
#
# Usage: lv2_outside_juce.sh BUNDLE.lv2 URI
set -euo pipefail
source "$(dirname "$0")/../support/jack_server.sh"
source "$(dirname "$0")/../support/check_waits.sh"
bundle=$1
uri=$2

work=$(mktemp -d)
pids=()
# Stops what this script started, the JACK server last: a server stopped while its clients
# still run can leave its entry in JACK's registry of servers, which holds only a few.
cleanup() {
    local index
    for ((index = ${#pids[@]} - 1; index >= 0; index--)); do
        kill "${pids[index]}" 2>/dev/null || true
        wait "${pids[index]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
start_watchdog 150 "$work"
pids+=("$watchdog_pid")
fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log "$work"/dump.txt "$work"/keys.txt; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}

# Nothing the user installed takes part; the programs keep their settings in $work. With no
# display named, the plug-in's JUCE would try display :0, which may be somebody else's.
export HOME=$work XDG_CONFIG_HOME=$work/config
export DISPLAY=${DISPLAY:-none}
export LV2_PATH
LV2_PATH=$(dirname "$(realpath "$bundle")")

# lilv reads the bundle.
lv2ls | grep -qx "$uri" || fail "lv2ls does not list $uri"
lv2info "$uri" >"$work/info.txt" || fail "lv2info refused $uri"
grep -q "Name: *Batto MIDI FX" "$work/info.txt" || fail "lv2info shows no name Batto MIDI FX"
[ "$(grep -c "atom#AtomPort" "$work/info.txt")" -eq 2 ] || fail "lv2info shows no event input and output"
grep -q "midi:MidiEvent" "$bundle/dsp.ttl" || fail "the event ports do not carry MIDI"

# A JACK server under a name of its own, so that parallel runs never meet.
server="batto-lv2-$$-$RANDOM"
export JACK_DEFAULT_SERVER=$server
start_check_jack_server "$server" 256 "$work/jackd.log"
pids+=($!)
jack_wait -s "$server" -w -t 60 >/dev/null 2>&1 || fail "the JACK server did not start"

# jalv reads commands from its input and ends when it closes: keep it open.
mkfifo "$work/jalv.in"
sleep 600 >"$work/jalv.in" &
pids+=($!)
jalv -n battofx "$uri" <"$work/jalv.in" >"$work/jalv.log" 2>&1 &
pids+=($!)
# What the drummer plays, and (in a second listener) what the player plays.
jack_midi_dump dump >"$work/dump.txt" 2>&1 &
pids+=($!)
jack_midi_dump keys >"$work/keys.txt" 2>&1 &
pids+=($!)
# The player: a note every 7001 frames. That is no multiple of the drummer's grid (12 000
# frames between eighths at 120 bpm), so the notes fall at every place between two instants
# wherever the transport happens to start, and most of them fall in an instant's window.
jack_midiseq keyboard 7001 0 60 2000 >"$work/keyboard.log" 2>&1 &
pids+=($!)

ports_ready() {
    local ports
    ports=$(jack_lsp 2>/dev/null || true)
    grep -qx "battofx:out" <<<"$ports" && grep -qx "dump:input" <<<"$ports" &&
        grep -qx "keys:input" <<<"$ports" && grep -qx "keyboard:out" <<<"$ports"
}
wait_seconds 60 ports_ready || fail "the clients' ports did not appear"
jack_connect keyboard:out battofx:in || fail "cannot connect the keyboard"
jack_connect keyboard:out keys:input || fail "cannot connect the keyboard's listener"
jack_connect battofx:out dump:input || fail "cannot connect the drummer's output"

count() { grep -c "$1" "$2" || true; }
drum_count() { count "99 $1 .. note on" "$work/dump.txt"; }

# Before the transport rolls the drummer is silent: two of the player's notes have gone
# through the graph (the listener saw them in the cycles the drummer got them) with no answer.
player_played_twice() { [ "$(count "90 3c .. note on" "$work/keys.txt")" -ge 2 ]; }
wait_seconds 60 player_played_twice || fail "the player's notes did not reach the graph"
if grep -q "note on" "$work/dump.txt"; then fail "the drummer played before the transport rolled"; fi

# jack_transport ends at the end of its input; it is asked again until jack_showtime (stopped
# by SIGINT, so that it leaves the server as a client should) sees the transport roll.
transport_rolls() {
    echo play | jack_transport >>"$work/transport.log" 2>&1 || true
    timeout -k 2 -s INT 2 jack_showtime >"$work/showtime.txt" 2>/dev/null || true
    grep -q "state: Rolling" "$work/showtime.txt"
}
wait_seconds 40 transport_rolls || fail "the JACK transport did not roll"

# At 120 bpm: a hi-hat on every eighth, and a kick or a snare answering the player's notes.
answers() { echo $(($(drum_count 24) + $(drum_count 26))); }
enough_drums() { [ "$(drum_count 2a)" -ge 8 ] && [ "$(answers)" -ge 3 ]; }
wait_seconds 60 enough_drums || fail "too few drum notes: $(drum_count 2a) hi-hats, $(answers) kicks and snares"
others=$(grep -v -c -E "^ *[0-9]+: 99 " "$work/dump.txt" || true)
echo "jack_midi_dump saw $(drum_count 2a) closed hi-hats and $(answers) kicks and snares on channel 10"
[ "$others" -eq 0 ] || fail "the output carried something other than drum note-ons"
echo "PASS"
