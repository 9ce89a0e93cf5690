#!/bin/sh
# Runs a command with an X display of its own (Xvfb, 1024x768, 24 bits). Xvfb chooses a free
# display number itself, so that tests running side by side never share or race for one.
set -u
numberFile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numberFile" 2>/dev/null &
server=$!
tries=0
while [ ! -s "$numberFile" ] && [ $tries -lt 200 ]; do
    sleep 0.05
    tries=$((tries + 1))
done
if [ ! -s "$numberFile" ]; then
    echo "with-display: Xvfb did not start" >&2
    kill $server 2>/dev/null
    rm -f "$numberFile"
    exit 1
fi
DISPLAY=":$(head -n 1 "$numberFile")" "$@"
status=$?
kill $server 2>/dev/null
wait $server 2>/dev/null
rm -f "$numberFile"
exit $status
