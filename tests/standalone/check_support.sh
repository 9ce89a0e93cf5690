# Helpers for the checks that run the real Batto program: a JACK server on the dummy driver
# under a name of the check's own, an X display of its own, a home folder of its own, and
# Batto itself. Every process started here is stopped by its id when the check ends.
# Sourced by the check scripts; BATTO is the program to run.

set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/jack_server.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../support/check_waits.sh"

work=$(mktemp -d /tmp/batto-check-XXXXXX)
started=()
export HOME=$work XDG_CONFIG_HOME=$work/.config
export JACK_DEFAULT_SERVER="batto-check-$$-$RANDOM"
settings=$work/.Batto/Batto.settings

stop_everything() {
    local pid
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        pid=${started[i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap stop_everything EXIT

fail() {
    echo "FAILED: $*" >&2
    for log in "$work"/*.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
    done
    exit 1
}


# Succeeds when the JACK server has a port of exactly that name (jack_lsp itself succeeds
# whether or not it finds one).
has_port() {
    jack_lsp 2>/dev/null | grep -qxF "$1"
}

start_jack() { # period frames (default 64); JACK_REALTIME=1 runs the server and its clients real-time
    start_check_jack_server "$JACK_DEFAULT_SERVER" "${1:-64}" "$work/jackd.log" -C 2 -P 4
    started+=($!)
    wait_seconds 60 has_port system:playback_4 || fail "the JACK server did not start"
}

start_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    started+=($!)
    wait_seconds 30 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$work/display")"
}

# Writes the settings file: JACK as the audio device, then the given "key value" pairs.
write_settings() {
    mkdir -p "$(dirname "$settings")"
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo '<PROPERTIES>'
        echo '  <VALUE name="audioDeviceState"><DEVICESETUP deviceType="JACK" audioOutputDeviceName="system" audioInputDeviceName="system" audioDeviceRate="48000.0"/></VALUE>'
        while [ $# -ge 2 ]; do
            echo "  <VALUE name=\"$1\" val=\"$2\"/>"
            shift 2
        done
        echo '</PROPERTIES>'
    } >"$settings"
}

# Starts Batto in the background; sets batto_pid.
launch_batto() {
    "$BATTO" >"$work/batto.log" 2>&1 &
    batto_pid=$!
    started+=($batto_pid)
}

# Starts Batto and waits for its window and its JACK ports; sets batto_pid and window.
start_batto() {
    launch_batto
    wait_seconds 30 has_port Batto:out_4 || fail "Batto's audio ports did not appear"
    wait_seconds 30 has_port "${BATTO_MIDI_IN:-Batto:midi_in}" || fail "Batto's MIDI ports did not appear"
    window=$(xdotool search --sync --onlyvisible --name '^Batto$' | head -n 1)
    [ -n "$window" ] || fail "no main window"
}

# Gives the drummer's panel the keyboard: a click on bare metal at its left edge, below the
# menu bar. The display hands the program the click before any key pressed after it, so the
# keys that follow go to the panel.
focus_panel() {
    xdotool windowfocus --sync "$window"
    xdotool mousemove --window "$window" 20 124 click 1
}

# Presses a key. The program reads it when it gets to it: a check waits for what the key does.
press() {
    xdotool key --clearmodifiers "$1"
}

# A check that something does not happen looks this long after the key that must not cause it.
settle() {
    sleep 0.5
}

# Ends Batto as a closed terminal or a logout would, and waits for it.
signal_batto() {
    kill "-$1" "$batto_pid"
    wait "$batto_pid" || fail "Batto ended with status $? after SIG$1"
}

# Records Batto's four outputs for $2 seconds into $1 (16-bit WAV).
record() {
    jack_rec -f "$1" -d "$2" -b 16 Batto:out_1 Batto:out_2 Batto:out_3 Batto:out_4 >"$work/jack_rec.log" 2>&1
}

# Records a second at a time until the recording passes the recording check $1 ("sounding",
# "silent"); fails after $2 tries (default 30): the drummer starts or stops as soon as the
# program has read the key, which on a busy machine may take a while.
record_until() {
    local tries=${2:-30}
    for _ in $(seq "$tries"); do
        record "$work/until.wav" 1
        python3 "$CHECK" "$work/until.wav" "$1" >"$work/until.log" 2>&1 && return 0
    done
    return 1
}

# Succeeds when the dump file $1 holds at least $3 lines that match $2.
dump_holds() {
    [ "$(grep -cE "$2" "$1" || true)" -ge "$3" ]
}

# The sizes (WIDTHxHEIGHT) of the top-level windows that show, one a line.
shown_windows() {
    local id
    for id in $(xwininfo -root -children | grep -o '^ *0x[0-9a-f]\+'); do
        xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} /Map State: IsViewable/ {print w "x" h}'
    done
}

# The size of the window that has the keyboard focus.
focused_window() {
    xwininfo -id "$(xdotool getwindowfocus)" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'
}
