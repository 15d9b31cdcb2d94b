#!/usr/bin/env bash
# Speed of the processing (not a test: it prints figures): processReplacing natively and as
# MULCHVOICE.dll under Wine, and the LV2 plug-in loaded through lilv beside a packaged peer
# vocoder. Builds the benchmarks in their own build trees (build/bench-native, build/bench-win32),
# times them natively, counts the native instructions with callgrind, then times the DLL in a
# Wine session of build/bench-win32 that it starts and stops itself.
#
#   bash tools/bench.sh [--native-only | --dll-only | --lv2-only]
#
# Prints one line per build, case and block size:
#   RESULT name=<build>-<case> block=<frames> ns_per_sample=<ns> rtf=<factor> [instr_per_sample=<Ir>]
# and for the LV2 plug-in, per block size, its time over the peer's:
#   RESULT name=lv2-gate-on-to-peer-mda-vocoder block=<frames> time_ratio=<ratio>
# (tools/bench/process_bench.cpp and tools/bench/lv2_bench.cpp say what each case and figure
# is; instr_per_sample is on the native and LV2 lines only). Exits non-zero when a build or a run
# fails; the logs are in the build trees.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

native=1
dll=1
lv2=1
usage() { sed -n '8p' "$0" >&2; exit 2; }
case ${1:-} in
  "") ;;
  --native-only) dll=0; lv2=0 ;;
  --dll-only) native=0; lv2=0 ;;
  --lv2-only) native=0; dll=0 ;;
  *) usage ;;
esac
[ $# -le 1 ] || usage

readonly native_dir=build/bench-native
readonly win32_dir=build/bench-win32
readonly blocks=(64 256 512 3000)
# Three cases for both builds, and natively the two band-by-band cases besides.
readonly dll_lines=$(( 3 * ${#blocks[@]} ))
readonly native_lines=$(( 5 * ${#blocks[@]} ))
# Two cases of ours and the peer, and the ratio line.
readonly lv2_lines=$(( 4 * ${#blocks[@]} ))

die() { echo "bench: $*" >&2; exit 1; }

build() {  # build <dir> <target> <cmake options...>
  local dir=$1 target=$2; shift 2
  mkdir -p "$dir"
  echo "bench: building $dir" >&2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMULCHVOICE_TESTS=OFF "$@" \
    >"$dir/bench-configure.log" 2>&1 || { cat "$dir/bench-configure.log" >&2; die "configuring $dir failed"; }
  cmake --build "$dir" -j2 --target "$target" >"$dir/bench-build.log" 2>&1 ||
    { tail -n 40 "$dir/bench-build.log" >&2; die "building $dir failed (log: $dir/bench-build.log)"; }
}

# Checks that a run printed a RESULT line for every case and block size.
check_lines() {  # check_lines <file> <name prefix> <lines>
  local count
  count=$(grep -c "^RESULT name=$2" "$1" || true)
  [ "$count" -eq "$3" ] ||
    die "the run printed $count RESULT lines named $2... instead of $3 (output: $1)"
}

# Ir inside the processing per frame, over the one second `--once` renders.
instructions_per_sample() {  # instructions_per_sample <program> <case> <block>
  local program=$1; shift
  local out=$native_dir/callgrind/$1-$2.out
  local log=$native_dir/callgrind/$1-$2.log
  local once frames total entry='Vocoder::processReplacing*'
  case $1 in
    band-by-band-*) entry='*BandByBandEffect::processReplacing*' ;;
    lv2-* | peer-*) entry='*runPlugin*' ;;
  esac
  once=$(valgrind --tool=callgrind --callgrind-out-file="$out" \
           --toggle-collect="$entry" \
           "$native_dir/tools/bench/$program" --once "$1" "$2" 2>"$log") ||
    { tail -n 20 "$log" >&2; die "callgrind run of $1 at block $2 failed (log: $log)"; }
  frames=$(sed -n 's/^ONCE .* frames=\([0-9]*\)$/\1/p' <<<"$once")
  total=$(sed -n 's/^totals: \([0-9]*\).*/\1/p' "$out")
  [ -n "$frames" ] && [ "$frames" -gt 0 ] || die "no frame count from --once $1 $2: $once"
  # No instructions would mean the function callgrind collects in no longer exists.
  [ -n "$total" ] && [ "$total" -gt 0 ] ||
    die "callgrind counted nothing in $entry for $1 at block $2 ($out)"
  awk -v ir="$total" -v n="$frames" 'BEGIN { printf "%.1f", ir / n }'
}

# Appends instr_per_sample to every RESULT line of a run that has a time.
with_instructions() {  # with_instructions <program> <output> <name prefix to strip>
  local line name block instructions
  mkdir -p "$native_dir/callgrind"
  while read -r line; do
    case $line in
      *ns_per_sample=*) ;;
      *) echo "$line"; continue ;;
    esac
    name=$(sed -n "s/^RESULT name=$3\([^ ]*\) .*/\1/p" <<<"$line")
    block=$(sed -n 's/.* block=\([0-9]*\) .*/\1/p' <<<"$line")
    instructions=$(instructions_per_sample "$1" "$name" "$block") || exit 1
    echo "$line instr_per_sample=$instructions"
  done < <(grep '^RESULT ' "$2")
}

need_valgrind() {
  command -v valgrind >/dev/null || die "valgrind is needed for the instruction counts (apt-get install valgrind)"
}

run_native() {
  need_valgrind
  build "$native_dir" process_bench
  local output=$native_dir/bench-output.txt
  "$native_dir/tools/bench/process_bench" >"$output" || { cat "$output"; die "the native run failed"; }
  check_lines "$output" native- "$native_lines"
  grep '^#' "$output" || true
  with_instructions process_bench "$output" native-
}

# The LV2 plug-in and its peer, in the native tree; the peer comes from Debian's mda-lv2.
run_lv2() {
  need_valgrind
  build "$native_dir" lv2_bench
  local output=$native_dir/lv2-bench-output.txt
  "$native_dir/tools/bench/lv2_bench" >"$output" || { cat "$output"; die "the LV2 run failed"; }
  check_lines "$output" "" "$lv2_lines"
  grep '^#' "$output" || true
  with_instructions lv2_bench "$output" ""
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
  build "$win32_dir" process_bench -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake
  local output=$win32_dir/bench-output.txt
  wine_started=1
  tools/wine-env.sh start "$win32_dir" >"$win32_dir/bench-wine-start.log" 2>&1 ||
    { cat "$win32_dir/bench-wine-start.log" >&2; die "starting the Wine session failed"; }
  # The program's text-mode output ends its lines with CR LF.
  tools/wine-env.sh run "$win32_dir" --timeout 1800 "$win32_dir/process_bench.exe" |
    tr -d '\r' | tee "$output" || die "the run under Wine failed (output: $output)"
  check_lines "$output" dll- "$dll_lines"
  stop_wine
}

if [ "$native" = 1 ]; then run_native; fi
if [ "$lv2" = 1 ]; then run_lv2; fi
if [ "$dll" = 1 ]; then run_dll; fi
