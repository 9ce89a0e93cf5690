#!/usr/bin/env bash
# Installs, builds and plays the embedded performance through the drummer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh --target batto-tab
build/tools/batto-tab
