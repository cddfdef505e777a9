#!/usr/bin/env bash
# Long fuzz campaigns over the plug-ins, outside the test suite:
#   tools/fuzz-campaign.sh [--seconds N | --runs N] [--jobs J] [TARGET...]
# Builds the fuzz preset, writes the seed corpus, then fuzzes each TARGET (all nine when none is
# named) for N seconds or N executions (default: 600 seconds each), J targets at a time (default
# 1; use 2 only when the machine is otherwise idle). A target that crashes is restarted with
# what remains of its budget, so one finding does not end its campaign. The corpus grows in
# build-fuzz/campaign/TARGET/corpus and is reused by the next campaign; crash inputs are kept in
# build-fuzz/campaign/TARGET/findings. At the end a table gives, per target, the executions,
# the mean executions per second, the corpus size, the findings and the executions of every
# campaign so far (build-fuzz/campaign/TARGET/history).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

seconds=600 runs=0 jobs=1 targets=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --seconds) seconds=$2; runs=0; shift 2 ;;
        --runs) runs=$2; seconds=0; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
        *) targets+=("$1"); shift ;;
    esac
done
[[ ${#targets[@]} -gt 0 ]] || targets=(aixvault pacvault mvxvault afsvault adxvoice aixvoice wavvoice xmdvoice sndvoice)

tools/build.sh fuzz >/dev/null
build=$top/build-fuzz
campaign=$build/campaign
"$build/bin/make_fuzz_seeds" "$campaign/seeds" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Fuzzes one target within its budget; leaves "executions seconds" in its stats file.
campaign_one() {
    local target=$1 dir=$campaign/$1
    mkdir -p "$dir/corpus" "$dir/findings" "$dir/logs"
    local done_runs=0 started=$SECONDS round=0
    while :; do
        local limit=()
        if [[ $runs -gt 0 ]]; then
            local left=$((runs - done_runs))
            [[ $left -gt 0 ]] || break
            limit=(-runs="$left")
        else
            local left=$((seconds - (SECONDS - started)))
            [[ $left -gt 0 ]] || break
            limit=(-max_total_time="$left")
        fi
        round=$((round + 1))
        local log=$dir/logs/run$round.log
        "$build/fuzz/fuzz_$target" "${limit[@]}" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
            -print_final_stats=1 -artifact_prefix="$dir/findings/" \
            "$dir/corpus" "$campaign/seeds/$target" "$top/tests/fuzz_regressions/$target" \
            >"$log" 2>&1 || true
        local executed
        executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
        if [[ -z "$executed" ]]; then
            # A crash prints no final stats; take the last progress line's count.
            executed=$(grep -oE '^#[0-9]+' "$log" | tail -n1 | tr -d '#')
        fi
        done_runs=$((done_runs + ${executed:-0}))
        if grep -q "^SUMMARY\|fuzz rule broken\|ERROR: libFuzzer" "$log"; then
            echo "$target: finding in round $round, see $log" >&2
        fi
        # A target that cannot make progress (crashes on its seeds) would spin: stop it.
        [[ ${executed:-0} -gt 0 ]] || break
    done
    echo "$done_runs $((SECONDS - started))" >"$dir/stats"
    echo "$(date -u +%FT%TZ) $done_runs $((SECONDS - started))" >>"$dir/history"
}

running=0
for target in "${targets[@]}"; do
    campaign_one "$target" &
    running=$((running + 1))
    if [[ $running -ge $jobs ]]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

printf '%-10s %14s %9s %9s %8s %8s %16s\n' target executions seconds exec/s corpus findings "all campaigns"
total=0
for target in "${targets[@]}"; do
    dir=$campaign/$target
    read -r executed elapsed <"$dir/stats"
    corpus=$(find "$dir/corpus" -type f | wc -l)
    findings=$(find "$dir/findings" -type f | wc -l)
    rate=$((elapsed > 0 ? executed / elapsed : executed))
    ever=$(awk '{ n += $2 } END { print n + 0 }' "$dir/history")
    printf '%-10s %14d %9d %9d %8d %8d %16d\n' "$target" "$executed" "$elapsed" "$rate" "$corpus" \
        "$findings" "$ever"
    total=$((total + executed))
done
printf '%-10s %14d\n' total "$total"
