#!/usr/bin/env bash
# Runs every libFuzzer target for a while on its seed corpus.
#   scripts/fuzz.sh [seconds per target, default 30] [targets at once, default 1]
# Builds the "fuzz" preset first. New inputs go to a scratch corpus, not into
# the repository; a finding is written to build/fuzz/findings/ and fails the run.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
secs="${1:-30}"
parallel="${2:-1}"
cd "$here"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_all
out="$here/build/fuzz/findings"
work="$here/build/fuzz/corpus"
mkdir -p "$out" "$work"

run_one() {
    local t="$1" exe="$here/build/fuzz/fuzz/$1"
    mkdir -p "$work/$t" "$here/fuzz/corpus/${t#fuzz_}"
    if "$exe" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$out/$t-" "$work/$t" "$here/fuzz/corpus/${t#fuzz_}" \
            >"$out/$t.log" 2>&1; then
        echo "fuzz: $t: $(grep -E '^stat::number_of_executed_units' "$out/$t.log" | awk '{print $2}') runs, no finding"
    else
        echo "fuzz: $t: FINDING (see $out/$t.log)"
        grep -E 'ERROR|property broken|SUMMARY' "$out/$t.log" | head -5
        return 1
    fi
}

targets=()
for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
failed=0
pids=()
for t in "${targets[@]}"; do
    run_one "$t" &
    pids+=($!)
    if [ "${#pids[@]}" -ge "$parallel" ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit "$failed"
