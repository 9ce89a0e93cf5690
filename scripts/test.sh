#!/usr/bin/env bash
# Installs, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
# Tests that need a display start an Xvfb of their own. The others run headless: with no
# display named, JUCE would try display :0, which may be another test's Xvfb that goes away.
export DISPLAY="${DISPLAY:-none}"
ctest --test-dir build --output-on-failure -j2
