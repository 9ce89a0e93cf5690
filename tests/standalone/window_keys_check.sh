#!/usr/bin/env bash
# The real program in a real window under Xvfb, driven by real key presses (xdotool):
# command+',' and command+'M' open the device window and the MIDI-in filter window, Escape
# closes them again (with shift it does not), the space bar starts and stops the drummer
# (heard on JACK's dummy driver), and Ctrl+C ends the program with its settings saved.
# Usage: window_keys_check.sh BATTO RECORDING_CHECK
BATTO=$1
CHECK=$2
source "$(dirname "$0")/check_support.sh"
start_watchdog 160 "$work"
started+=("$watchdog_pid")

export JACK_PERIOD=256
start_jack $JACK_PERIOD
start_display
write_settings tempo 100
start_batto

main_size=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$(shown_windows)" = "$main_size" ] || fail "windows other than the main one show at start: $(shown_windows | tr '\n' ' ')"

window_shows() { shown_windows | grep -qx "$1"; }
window_is_gone() { ! window_shows "$1"; }
window_has_keyboard() { [ "$(focused_window)" = "$1" ]; }

for command in "ctrl+comma 500x450" "ctrl+m 400x250"; do
    read -r key size <<<"$command"
    focus_panel
    press "$key"
    wait_seconds 30 window_shows "$size" || fail "$key did not open the $size window"
    wait_seconds 30 window_has_keyboard "$size" || fail "the $size window did not take the keyboard"
    press shift+Escape
    settle
    window_shows "$size" || fail "shift+Escape closed the $size window"
    press Escape
    wait_seconds 30 window_is_gone "$size" || fail "Escape did not close the $size window"
    echo "$key opens the $size window, Escape closes it"
done

focus_panel
press space
record_until sounding || fail "the space bar did not start the drummer"
press space
record_until silent || fail "the space bar did not stop the drummer"

signal_batto INT
grep -q '<VALUE name="tempo" val="100"/>' "$settings" || fail "the settings were not saved on Ctrl+C"
echo "passed"
