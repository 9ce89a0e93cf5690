#!/usr/bin/env bash
# Runs every fuzz target longer than the test suite does: SECONDS each (default 600), one
# after the other, each from its committed seed corpus plus what earlier runs of this script
# found (kept in build/fuzz-corpus). Prints the inputs tried per target; a crash stops the
# script and leaves the input in build/fuzz-findings.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(state_chunk_fuzz state_chunk_fuzz_plugin midi_file_fuzz process_block_fuzz process_block_fuzz_plugin)
fi
scripts/build.sh --target batto_fuzz
binaries=build/tests/fuzz/build
for target in "${targets[@]}"; do
    corpus=${target%_plugin}
    corpus=${corpus%_fuzz}
    work=build/fuzz-corpus/$target
    mkdir -p "$work" build/fuzz-findings
    options=()
    if [ "$corpus" = midi_file ]; then
        options+=(-dict=tests/fuzz/midi_file.dict)
    fi
    echo "== $target: $seconds s"
    "$binaries/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix=build/fuzz-findings/$target- "${options[@]}" "$work" "tests/fuzz/corpus/$corpus" 2>&1 |
        grep -E "^stat::number_of_executed_units|^#[0-9]+.*DONE|ERROR|SUMMARY|invariant broken|Test unit written"
done
