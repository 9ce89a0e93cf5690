#!/usr/bin/env bash
# Runs one fuzz target over its committed seed corpus and then for a fixed number of new
# inputs (deterministic: a fixed seed). New inputs go to a temporary folder that is removed;
# a crashing input is kept in the findings folder, and the run fails.
#   run-fuzz-target.sh TARGET SEED_CORPUS RUNS FINDINGS_FOLDER [more libFuzzer options]
set -euo pipefail
target=$1 corpus=$2 runs=$3 findings=$4
shift 4
mkdir -p "$findings"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$target" -runs="$runs" -seed=1 -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$findings/$(basename "$target")-" "$@" "$work" "$corpus" 2>"$work.log" || {
    status=$?
    tail -n 60 "$work.log"
    rm -f "$work.log"
    exit "$status"
}
grep -E "^stat::number_of_executed_units|^#[0-9]+.*DONE|^INFO: seed corpus" "$work.log" || true
rm -f "$work.log"
