#!/usr/bin/env bash
# Configures and builds into build/ (Ninja, ccache when present). The build's own output goes
# to build/build.log and is shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
if ! cmake --build build "$@" >build/build.log 2>&1; then
    grep -E "error|FAILED" -A3 build/build.log | head -n 60 >&2 || true
    tail -n 20 build/build.log >&2
    echo "The build failed; the whole log is in build/build.log." >&2
    exit 1
fi
