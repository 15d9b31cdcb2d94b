#!/usr/bin/env bash
# Speed of processReplacing, native and as MULCHVOICE.dll under Wine (not a test: it prints
# figures). Builds the benchmark in its own build trees (build/bench-native; build/bench-native-8reg,
# the same code restricted to the eight vector registers 32-bit code has; build/bench-win32),
# times the two native builds alternately, case by case, counts their instructions with
# callgrind, then times the DLL in a Wine session of build/bench-win32 that it starts and stops
# itself.
#
#   bash tools/bench.sh [--native-only | --dll-only]
#
# Prints one line per build, band kernel, case and block size:
#   RESULT name=<build>-<kernel>-<case> block=<frames> ns_per_sample=<ns> rtf=<factor> [instr_per_sample=<Ir>]
# (tools/bench/process_bench.cpp says what each build, kernel, case and figure is;
# instr_per_sample is on the native lines only). Exits non-zero when a build or a run fails; the
# logs are in the build trees.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

native=1
dll=1
case ${1:-} in
  "") ;;
  --native-only) dll=0 ;;
  --dll-only) native=0 ;;
  *) sed -n '9p' "$0" >&2; exit 2 ;;
esac
[ $# -le 1 ] || { sed -n '9p' "$0" >&2; exit 2; }

readonly native_dir=build/bench-native
readonly native8_dir=build/bench-native-8reg
readonly win32_dir=build/bench-win32
readonly blocks=(64 256 512 3000)

die() { echo "bench: $*" >&2; exit 1; }

build() {  # build <dir> <cmake options...>
  local dir=$1; shift
  mkdir -p "$dir"
  echo "bench: building $dir" >&2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMULCHVOICE_TESTS=OFF "$@" \
    >"$dir/bench-configure.log" 2>&1 || { cat "$dir/bench-configure.log" >&2; die "configuring $dir failed"; }
  cmake --build "$dir" -j2 --target process_bench >"$dir/bench-build.log" 2>&1 ||
    { tail -n 40 "$dir/bench-build.log" >&2; die "building $dir failed (log: $dir/bench-build.log)"; }
}

# Checks that a run printed a RESULT line for every case and block size.
check_lines() {  # check_lines <file> <build> <lines>
  local count
  count=$(grep -c "^RESULT name=$2-" "$1" || true)
  [ "$count" -eq "$3" ] ||
    die "the $2 run printed $count RESULT lines instead of $3 (output: $1)"
}

# Ir inside the processing per frame, over the one second `--once` renders.
instructions_per_sample() {  # instructions_per_sample <build-dir> <name> <block>
  local out=$1/callgrind/$2-$3.out
  local log=$1/callgrind/$2-$3.log
  local once frames total entry='Vocoder::processReplacing*'
  case $2 in band-by-band-*) entry='*BandByBandEffect::processReplacing*' ;; esac
  mkdir -p "$1/callgrind"
  once=$(valgrind --tool=callgrind --callgrind-out-file="$out" \
           --toggle-collect="$entry" \
           "$1/tools/bench/process_bench" --once "$2" "$3" 2>"$log") ||
    { tail -n 20 "$log" >&2; die "callgrind run of $2 at block $3 in $1 failed (log: $log)"; }
  frames=$(sed -n 's/^ONCE .* frames=\([0-9]*\)$/\1/p' <<<"$once")
  total=$(sed -n 's/^totals: \([0-9]*\).*/\1/p' "$out")
  [ -n "$frames" ] && [ "$frames" -gt 0 ] || die "no frame count from --once $2 $3: $once"
  # No instructions would mean the function callgrind collects in no longer exists.
  [ -n "$total" ] && [ "$total" -gt 0 ] ||
    die "callgrind counted nothing in $entry for $2 at block $3 ($out)"
  awk -v ir="$total" -v n="$frames" 'BEGIN { printf "%.1f", ir / n }'
}

# One RESULT line of one build, name and block, with its instruction count.
native_line() {  # native_line <build-dir> <name> <block>
  local line instructions
  line=$("$1/tools/bench/process_bench" --time "$2" "$3") ||
    die "the run of $2 at block $3 in $1 failed"
  [[ $line == RESULT\ * ]] || die "the run of $2 at block $3 in $1 printed no RESULT line: $line"
  instructions=$(instructions_per_sample "$1" "$2" "$3") || exit 1
  echo "$line instr_per_sample=$instructions"
}

# The native build and the 8-register build, timed alternately so that both see the same load;
# the band-by-band cases in the native build only.
run_native() {
  command -v valgrind >/dev/null || die "valgrind is needed for the instruction counts (apt-get install valgrind)"
  build "$native_dir"
  build "$native8_dir" -DMULCHVOICE_8REG=ON
  local output=$native_dir/bench-output.txt names name block expected=0 expected8=0
  mapfile -t names < <("$native_dir/tools/bench/process_bench" --list)
  [ "${#names[@]}" -gt 0 ] || die "the native program lists no cases"
  echo "# processReplacing of the effect object, natively and with 8 vector registers:" \
    "median of 7 runs of 88200 frames, the two builds alternately"
  : >"$output"
  for name in "${names[@]}"; do
    for block in "${blocks[@]}"; do
      native_line "$native_dir" "$name" "$block" | tee -a "$output"
      expected=$((expected + 1))
      case $name in band-by-band-*) continue ;; esac
      native_line "$native8_dir" "$name" "$block" | tee -a "$output"
      expected8=$((expected8 + 1))
    done
  done
  # Every line names a build starting with "native-"; the 8-register build's have "native-8reg-".
  check_lines "$output" native "$((expected + expected8))"
  check_lines "$output" native-8reg "$expected8"
}

wine_started=0
stop_wine() {
  if [ "$wine_started" = 1 ]; then
    wine_started=0
    tools/wine-env.sh stop "$win32_dir" >/dev/null 2>&1 || echo "bench: stopping the Wine session failed" >&2
  fi
}
trap stop_wine EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

run_dll() {
  build "$win32_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake
  local output=$win32_dir/bench-output.txt
  wine_started=1
  tools/wine-env.sh start "$win32_dir" >"$win32_dir/bench-wine-start.log" 2>&1 ||
    { cat "$win32_dir/bench-wine-start.log" >&2; die "starting the Wine session failed"; }
  # The program's text-mode output ends its lines with CR LF.
  tools/wine-env.sh run "$win32_dir" --timeout 1800 "$win32_dir/process_bench.exe" |
    tr -d '\r' | tee "$output" || die "the run under Wine failed (output: $output)"
  # Three cases and four block sizes for each kernel the processor runs: the SSE2 one at least.
  [ "$(grep -c '^RESULT name=dll-' "$output" || true)" -ge $(( 3 * ${#blocks[@]} )) ] ||
    die "the run under Wine printed too few RESULT lines (output: $output)"
  stop_wine
}

if [ "$native" = 1 ]; then run_native; fi
if [ "$dll" = 1 ]; then run_dll; fi
