#!/usr/bin/env bash
# Writes the panel's reference pictures (tests/editor/snapshots) again from the present code,
# for when the panel is meant to look different: builds the editor tests, lets the snapshot
# tests draw the pictures into build/snapshots and copies them over the references. Look at
# the pictures (git diff shows which changed) before committing them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --target editor_tests editor_tests_plugin
for binary in build/tests/editor/editor_tests build/tests/editor/editor_tests_plugin; do
    # Fails while the references differ; the pictures are written all the same.
    DISPLAY=none "$binary" --gtest_filter='EditorSnapshots.*' >/dev/null || true
done
mkdir -p tests/editor/snapshots
cp build/snapshots/editor-*.png tests/editor/snapshots/
git status --short tests/editor/snapshots
