#!/usr/bin/env bash
# Instructions per sample of the per-sample benchmarks, counted by callgrind:
# only the benchmark's sample function is measured (its whole call tree), and
# the total is divided by the number of times it ran.
#   bench/callgrind.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
bench=$build/bin/coolwarmBench
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {  # benchmark filter, sample function
    COOLWARM_BENCH_CALLS=1 valgrind --tool=callgrind --callgrind-out-file="$out/cg" \
        --toggle-collect="*::$2(*" "$bench" --benchmark_filter="^$1\$" --benchmark_min_time=0.2 \
        >/dev/null 2>"$out/log"
    local calls ir
    calls=$(sed -n "s/^$2 calls: //p" "$out/log")
    ir=$(callgrind_annotate "$out/cg" 2>/dev/null | sed -n 's/^ *\([0-9,]*\) .*PROGRAM TOTALS.*/\1/p' | tr -d ,)
    printf '%-28s %8d instructions per sample\n' "$1" $((ir / calls))
}
for l in 1 4 16; do
    run "BM_ToneModel/$l" sampleTone
    run "BM_NodeCompute/$l" sampleNode
done
for l in 1 4 16; do
    run "BM_ShaderCall/$l" sampleShader
    run "BM_ShaderInline/$l" sampleShaderInline
done
run "BM_ShaderAreaLights/4/16" sampleArea
run "BM_ShaderAreaInline/4/16" sampleAreaInline
