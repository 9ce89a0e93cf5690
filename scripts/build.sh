#!/usr/bin/env bash
# Configures and builds into build/ (Ninja, ccache when present). The build's own output goes
# to build/build.log and is shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
# The LV2 bundle's description is written by loading the built plug-in, whose JUCE would join
# display :0 when no display is named: on a shared machine that may be a test's Xvfb that goes
# away mid-build. It needs no display.
export DISPLAY="${DISPLAY:-none}"
cmake -S . -B build -G Ninja >/dev/null
if ! cmake --build build "$@" >build/build.log 2>&1; then
    grep -E "error|FAILED" -A3 build/build.log | head -n 60 >&2 || true
    tail -n 20 build/build.log >&2
    echo "The build failed; the whole log is in build/build.log." >&2
    exit 1
fi
