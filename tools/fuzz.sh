#!/usr/bin/env bash
# Fuzzes the effect through its record for a bounded time: builds the libFuzzer target with
# clang (AddressSanitizer, UndefinedBehaviorSanitizer, leak checks), copies the committed seed
# corpus into the build tree (the repository is never changed) and fuzzes from there.
#
#   tools/fuzz.sh [seconds [build-dir]]     default: 60 seconds in build/fuzz
#   tools/fuzz.sh 3600                      an hour
#
# Prints one line, e.g. "fuzz: 123456 executions, cov 520, ft 2700, 0 crashes". A crash or a
# broken invariant stops the run with a non-zero status and leaves the input that caused it
# in <build-dir>/fuzz-artifacts/; replay it (VOCODER_FUZZ_TRACE=1 lists the calls) with
#   <build-dir>/tests/fuzz/vocoder_fuzzer <build-dir>/fuzz-artifacts/crash-...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
dir=${2:-build/fuzz}
mkdir -p "$dir"

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DMULCHVOICE_FUZZ=ON -DMULCHVOICE_TESTS=OFF \
  >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; exit 1; }
cmake --build "$dir" -j2 --target vocoder_fuzzer

corpus=$dir/fuzz-corpus
artifacts=$dir/fuzz-artifacts
log=$dir/fuzz.log
rm -rf "$corpus"
mkdir -p "$corpus" "$artifacts"
cp tests/fuzz/corpus/* "$corpus/"

status=0
"$dir/tests/fuzz/vocoder_fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=20 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" \
  >"$log" 2>&1 || status=$?

done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
executions=$(sed -nE 's/^stat::number_of_executed_units:[[:space:]]*([0-9]+).*/\1/p' "$log" | tail -n 1)
cov=$(sed -nE 's/.*[[:space:]]cov: ([0-9]+).*/\1/p' <<<"$done_line")
ft=$(sed -nE 's/.*[[:space:]]ft: ([0-9]+).*/\1/p' <<<"$done_line")

if [ "$status" -ne 0 ] || [ -z "$done_line" ]; then
  tail -n 60 "$log"
  echo "fuzz: ${executions:-?} executions, FAILED (status $status); inputs kept in $artifacts:"
  ls -1 "$artifacts"
  exit 1
fi
echo "fuzz: $executions executions in ${seconds}s, cov $cov, ft $ft, 0 crashes (log: $log)"
