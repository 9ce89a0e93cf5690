#!/bin/sh
# batto-make-kit --check: the committed kit is what the installed instrument plays, and a kit
# that differs in one file is found out. Status 77 (skipped) when the instrument is missing.
# Usage: make-kit-check.sh <batto-make-kit> <resources folder>
set -u
tool=$1
resources=$2
"$tool" --check "$resources"
status=$?
[ $status -eq 0 ] || exit $status

changed=$(mktemp -d)
trap 'rm -rf "$changed"' EXIT
cp "$resources"/*.wav "$changed"/ || exit 2
# One sample of the open hi-hat one step louder: a file that still reads as WAV.
size=$(stat -c %s "$changed/OHH.wav")
printf '\001' | dd of="$changed/OHH.wav" bs=1 seek=$((size - 1000)) conv=notrunc status=none || exit 2
"$tool" --check "$changed" >"$changed/out.txt" 2>&1
status=$?
if [ $status -ne 1 ] || ! grep -q "OHH.wav.*DIFFERS" "$changed/out.txt"; then
    echo "a changed OHH.wav was not found out (status $status):" >&2
    cat "$changed/out.txt" >&2
    exit 1
fi
echo "a changed OHH.wav is found out"
