#!/usr/bin/env bash
# A short, bounded libFuzzer run of one target, as the test suite runs it:
#   tools/fuzz-short.sh PROGRAM WORKDIR RUNS CORPUS...
# WORKDIR starts empty and receives what the run finds new (the given corpora are only read);
# a crash input is left in WORKDIR. Regression recipes (*.recipe) and notes are not raw inputs
# and are left to the replay tests.
set -euo pipefail
source "$(dirname "$0")/usage.sh" 3 "$@"
program=$1 work=$2 runs=$3
shift 3
rm -rf "$work"
mkdir -p "$work/corpus"
inputs=()
for corpus in "$@"; do
    [[ -d "$corpus" ]] || continue
    while IFS= read -r -d '' file; do
        inputs+=("$file")
    done < <(find "$corpus" -type f ! -name '*.recipe' ! -name '*.note' ! -name README ! -name '.*' -print0)
done
# Raw inputs are copied into a seed folder of their own, so that libFuzzer reads them all.
mkdir -p "$work/seeds"
for file in "${inputs[@]}"; do
    cp "$file" "$work/seeds/$(basename "$(dirname "$file")")-$(basename "$file")"
done
exec "$program" -runs="$runs" -seed=1 -max_len=16384 -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$work/" -print_final_stats=1 "$work/corpus" "$work/seeds"
