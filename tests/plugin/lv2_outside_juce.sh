#!/usr/bin/env bash
# The LV2 bundle in hosts that share no code with JUCE: lilv's lv2ls and lv2info accept it,
# and jalv runs it on a JACK server of its own (dummy driver), with a keyboard part played by
# jack_midiseq and the drummer's output read by jack_midi_dump while JACK's transport rolls.
#
# Usage: lv2_outside_juce.sh BUNDLE.lv2 URI
set -euo pipefail
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
fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log "$work"/dump.txt; do
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
jackd -n "$server" --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
pids+=($!)
jack_wait -s "$server" -w -t 10 >/dev/null || fail "the JACK server did not start"

# jalv reads commands from its input and ends when it closes: keep it open.
mkfifo "$work/jalv.in"
sleep 120 >"$work/jalv.in" &
pids+=($!)
jalv -n battofx "$uri" <"$work/jalv.in" >"$work/jalv.log" 2>&1 &
pids+=($!)
jack_midi_dump dump >"$work/dump.txt" 2>&1 &
pids+=($!)
# The player: a note every half second (beats 1 and 2 of a 120 bpm bar).
jack_midiseq keyboard 48000 0 60 2000 24000 64 2000 >"$work/keyboard.log" 2>&1 &
pids+=($!)

# Waits (up to 30 s: the machine may be busy) until the command succeeds.
wait_for() {
    for _ in $(seq 300); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
ports_ready() {
    local ports
    ports=$(jack_lsp 2>/dev/null || true)
    grep -qx "battofx:out" <<<"$ports" && grep -qx "dump:input" <<<"$ports" && grep -qx "keyboard:out" <<<"$ports"
}
wait_for ports_ready || fail "the clients' ports did not appear"
jack_connect keyboard:out battofx:in || fail "cannot connect the keyboard"
jack_connect battofx:out dump:input || fail "cannot connect the drummer's output"

# Before the transport rolls the drummer is silent.
sleep 1
if grep -q "note on" "$work/dump.txt"; then fail "the drummer played before the transport rolled"; fi

echo play | jack_transport >/dev/null

# At 120 bpm: a hi-hat on every eighth, and a kick for each of the player's notes.
count() { grep -c "$1" "$work/dump.txt" || true; }
enough_drums() { [ "$(count "99 2a .. note on")" -ge 8 ] && [ "$(count "99 24 .. note on")" -ge 3 ]; }
wait_for enough_drums || fail "too few drum notes: $(count "99 2a .. note on") hi-hats, $(count "99 24 .. note on") kicks"
others=$(grep -v -c -E "^ *[0-9]+: 99 " "$work/dump.txt" || true)
echo "jack_midi_dump saw $(count "99 2a .. note on") closed hi-hats and $(count "99 24 .. note on") kicks on channel 10"
[ "$others" -eq 0 ] || fail "the output carried something other than drum note-ons"
echo "PASS"
