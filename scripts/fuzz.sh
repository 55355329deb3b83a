#!/usr/bin/env bash
# The fuzz campaign: builds the fuzz targets with clang, libFuzzer and the
# address and undefined-behaviour sanitizers in build-fuzz/, then runs each
# in turn for SECONDS (default 60) on its committed corpus and prints, per
# target, the executions, the coverage, when the coverage last grew, and the
# findings. A finding is kept in build-fuzz/findings/<target>/ and printed
# with the one command that reproduces it.
#
#   fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
root=$PWD
targets=(fuzz_reply fuzz_transaction fuzz_full_read fuzz_entry fuzz_text fuzz_trace fuzz_scenario
         fuzz_sales fuzz_csv fuzz_journal fuzz_pages)

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
    exit 1
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQUVO_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets >/dev/null

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:quarantine_size_mb=64
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
total_runs=0
total_findings=0
# Findings of an earlier run stay for reproducing them, but count only here.
since=$(mktemp)
trap 'rm -f "$since"' EXIT
printf '%-18s %12s %10s %8s %8s %12s %9s\n' target executions exec/s cov ft "last new cov" findings
for t in "${targets[@]}"; do
    work=build-fuzz/corpus/$t
    found=build-fuzz/findings/$t
    mkdir -p "$work" "$found"
    log=build-fuzz/$t.log
    dict=()
    [ -f "tests/fuzz/dict/$t.dict" ] && dict=(-dict="tests/fuzz/dict/$t.dict")
    # New inputs go to the work corpus; the committed one stays as it is.
    start=$EPOCHREALTIME
    set +e
    "build-fuzz/tests/$t" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$found/" \
        "${dict[@]}" "$work" "tests/fuzz/corpus/$t" 2>&1 |
        while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done >"$log"
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
    ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
    # When the coverage last grew, in seconds from the start.
    last=$(awk -v s="$start" '/\t(INITED|NEW|REDUCE)[ \t]+cov:/ { for (i = 1; i <= NF; ++i) if ($i == "cov:") { c = $(i + 1) }
                                                  if (c > best) { best = c; t = $1 } }
                             END { if (t) printf "%.1f s", t - s; else print "-" }' "$log")
    findings=$(find "$found" -type f -newer "$since" | wc -l)
    total_runs=$((total_runs + ${runs:-0}))
    total_findings=$((total_findings + findings))
    printf '%-18s %12s %10s %8s %8s %12s %9s\n' "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$last" "$findings"
    for f in "$found"/*; do
        [ -f "$f" ] && echo "  reproduce: $root/build-fuzz/tests/$t $root/$f"
    done
done
echo "all targets: $total_runs executions, findings: $total_findings"
[ "$total_findings" -eq 0 ]
