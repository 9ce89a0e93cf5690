#!/usr/bin/env bash
# Installs, builds and renders the embedded performance through the drummer into out/
# (extra arguments go to batto-render, e.g. --metronome 0.5).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh --target batto-render
build/render/batto-render "$@"
if [ $# -eq 0 ]; then
    echo "Listen to out/demo.wav, open out/demo.mid in a sequencer, or look at out/demo.png."
fi
