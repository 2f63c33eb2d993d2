#!/usr/bin/env bash
# CI stage: build the libFuzzer targets with clang (address and undefined-
# behaviour sanitizers, float-cast-overflow included) and run each for a
# bounded time from its committed seed corpus. A crash fails the stage and
# leaves its input in build-fuzz/findings/; turn it into a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${COOLWARM_FUZZ_SECONDS:-60}"
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends clang libclang-rt-14-dev >/dev/null
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target declarationFuzzer shadeLineFuzzer objSceneFuzzer sceneFileFuzzer lookFileFuzzer \
  httpRequestFuzzer coolwarm zarn_coolwarm
mkdir -p build-fuzz/findings
for fuzzer in declaration shadeLine objScene sceneFile lookFile httpRequest; do
  # New inputs go to a scratch corpus; the committed seeds stay as they are.
  work="build-fuzz/corpus/$fuzzer"
  mkdir -p "$work"
  echo "fuzzing $fuzzer for ${seconds} s"
  status=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build-fuzz/bin/${fuzzer}Fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$fuzzer-" "$work" "fuzz/corpus/$fuzzer" \
    >"build-fuzz/findings/$fuzzer.log" 2>&1 || status=$?
  # The run's summary: executions, coverage (cov: edges, ft: features), corpus.
  grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|ERROR|SUMMARY|runtime error|Test unit written" \
    "build-fuzz/findings/$fuzzer.log" || true
  if [ "$status" -ne 0 ]; then
    echo "$fuzzer: the fuzzer failed (exit $status); its log: build-fuzz/findings/$fuzzer.log" >&2
    failed=1
  fi
done
exit "${failed:-0}"
