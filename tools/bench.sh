#!/usr/bin/env bash
# Speed of the processing (not a test: it prints figures): processReplacing natively and as
# MULCHVOICE.dll under Wine, and the LV2 plug-in loaded through lilv beside a packaged peer
# vocoder. Builds the benchmarks in their own build trees (build/bench-native;
# build/bench-native-8reg, the same code restricted to the eight vector registers 32-bit code has;
# build/bench-win32), times the two native builds alternately, case by case, counts their
# instructions with callgrind, times the LV2 plug-in and the peer taking turns, then times the DLL
# in a Wine session of build/bench-win32 that it starts and stops itself, and counts the DLL's own
# instructions as qemu-i386 executes them (its -d exec log, filtered to the DLL's code), which no
# machine's load moves.
#
# Usage:
#   bash tools/bench.sh [--native-only | --dll-only | --lv2-only] [--against <revision>]
#
# Prints one line per build, band kernel, case and block size:
#   RESULT name=<build>-<kernel>-<case> block=<frames> ns_per_sample=<ns> rtf=<factor> [instr_per_sample=<Ir> speculative_pct=<%> fallback_pct=<%>]
# and for the DLL at block 512 one line per kernel and case:
#   RESULT name=dll-qemu-<kernel>-<case> block=512 guest_instr_per_sample=<instructions>
# and for the LV2 plug-in, per block size, its time over the peer's:
#   RESULT name=lv2-gate-on-to-peer-mda-vocoder block=<frames> time_ratio=<ratio>
# (tools/bench/process_bench.cpp and tools/bench/lv2_bench.cpp say what each build, kernel, case
# and figure is; instr_per_sample is on the native and LV2 lines, the stretch figures on the
# native ones).
# --against builds an earlier revision of the project as well (git archive into
# build/bench-against): its two native builds are timed in turn with this one's, case by case,
# and print their lines named before-native-... and before-native-8reg-..., each followed by the
# time over the earlier one's,
#   RESULT name=native-avx2-gate-on-to-before block=<frames> time_ratio=<ratio>
# and its LV2 plug-in runs after this one's, beside the peer again (before-lv2-... lines).
# Exits non-zero when a build or a run fails; the logs are in the build trees.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
# shellcheck source=tools/lib/usage.sh
source tools/lib/usage.sh
# shellcheck source=tools/lib/wine-under-qemu.sh
source tools/lib/wine-under-qemu.sh

native=1
dll=1
lv2=1
against=
usage() { usage_text "$0" >&2; exit 2; }
only=0
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) usage_text "$0"; exit 0 ;;
    --native-only) [ $only = 0 ] || usage; only=1; dll=0; lv2=0 ;;
    --dll-only) [ $only = 0 ] || usage; only=1; native=0; lv2=0 ;;
    --lv2-only) [ $only = 0 ] || usage; only=1; native=0; dll=0 ;;
    --against) [ $# -ge 2 ] || usage; against=$2; shift ;;
    *) usage ;;
  esac
  shift
done

readonly native_dir=build/bench-native
readonly native8_dir=build/bench-native-8reg
readonly win32_dir=build/bench-win32
readonly win64_dir=build/bench-win64
readonly against_dir=build/bench-against  # the earlier revision's sources and build trees
readonly blocks=(64 256 512 3000)
# Two cases of ours and the peer, and the ratio line.
readonly lv2_lines=$(( 4 * ${#blocks[@]} ))

die() { echo "bench: $*" >&2; exit 1; }

build() {  # build <dir> <target> <cmake options...>; the sources are $source, by default these
  local dir=$1 target=$2; shift 2
  mkdir -p "$dir"
  echo "bench: building $dir" >&2
  cmake -S "${source:-.}" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMULCHVOICE_TESTS=OFF "$@" \
    >"$dir/bench-configure.log" 2>&1 || { cat "$dir/bench-configure.log" >&2; die "configuring $dir failed"; }
  cmake --build "$dir" -j2 --target "$target" >"$dir/bench-build.log" 2>&1 ||
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
instructions_per_sample() {  # instructions_per_sample <build-dir> <name> <block> [<program>]
  local program=${4:-process_bench}
  local out=$1/callgrind/$2-$3.out
  local log=$1/callgrind/$2-$3.log
  local once frames total entry='Vocoder::processReplacing*'
  case $2 in
    band-by-band-*) entry='*BandByBandEffect::processReplacing*' ;;
    lv2-* | peer-*) entry='*runPlugin*' ;;
  esac
  mkdir -p "$1/callgrind"
  once=$(valgrind --tool=callgrind --callgrind-out-file="$out" \
           --toggle-collect="$entry" \
           "$1/tools/bench/$program" --once "$2" "$3" 2>"$log") ||
    { tail -n 20 "$log" >&2; die "callgrind run of $2 at block $3 in $1 failed (log: $log)"; }
  frames=$(sed -n 's/^ONCE .* frames=\([0-9]*\).*/\1/p' <<<"$once")
  total=$(sed -n 's/^totals: \([0-9]*\).*/\1/p' "$out")
  [ -n "$frames" ] && [ "$frames" -gt 0 ] || die "no frame count from --once $2 $3: $once"
  # No instructions would mean the function callgrind collects in no longer exists.
  [ -n "$total" ] && [ "$total" -gt 0 ] ||
    die "callgrind counted nothing in $entry for $2 at block $3 ($out)"
  awk -v ir="$total" -v n="$frames" 'BEGIN { printf "%.1f", ir / n }'
  # The band kernel's stretches over the same second, where the program counts them.
  sed -n 's/^ONCE .* stretches=\([0-9]*\) speculated=\([0-9]*\) fell_back=\([0-9]*\).*/\1 \2 \3/p' \
      <<<"$once" | awk '$1 > 0 { printf " speculative_pct=%.1f fallback_pct=%.1f", 100 * $2 / $1, 100 * $3 / $1 }'
}

# The time of one build, name and block: the RESULT line of `--time`.
time_line() {  # time_line <build-dir> <name> <block>
  local line
  line=$("$1/tools/bench/process_bench" --time "$2" "$3") ||
    die "the run of $2 at block $3 in $1 failed"
  [[ $line == RESULT\ * ]] || die "the run of $2 at block $3 in $1 printed no RESULT line: $line"
  echo "$line"
}

# One RESULT line of one build, name and block, with its instruction count.
native_line() {  # native_line <build-dir> <name> <block>
  local line instructions
  line=$(time_line "$@") || exit 1
  instructions=$(instructions_per_sample "$1" "$2" "$3") || exit 1
  echo "$line instr_per_sample=$instructions"
}

ns_of() { sed -n 's/.* ns_per_sample=\([0-9.]*\) .*/\1/p' <<<"$1"; }

# With --against: this build's line and the earlier revision's, timed one right after the other,
# the earlier one's renamed before-..., and the ratio of the two times.
native_lines_against() {  # native_lines_against <build-dir> <earlier build-dir> <name> <block>
  local line before instructions
  line=$(time_line "$1" "$3" "$4") || exit 1
  before=$(time_line "$2" "$3" "$4") || exit 1
  instructions=$(instructions_per_sample "$1" "$3" "$4") || exit 1
  echo "$line instr_per_sample=$instructions"
  instructions=$(instructions_per_sample "$2" "$3" "$4") || exit 1
  echo "$before instr_per_sample=$instructions" | sed 's/^RESULT name=/RESULT name=before-/'
  awk -v name="$(sed -n 's/^RESULT name=\([^ ]*\) .*/\1/p' <<<"$line")" -v block="$4" \
      -v ours="$(ns_of "$line")" -v theirs="$(ns_of "$before")" \
      'BEGIN { printf "RESULT name=%s-to-before block=%s time_ratio=%.2f\n", name, block, ours / theirs }'
}

# The earlier revision's sources, for --against, exported afresh once per run.
exported=0
export_against() {
  [ "$exported" = 0 ] || return 0
  exported=1
  git rev-parse --verify --quiet "$against^{commit}" >/dev/null || die "no such revision: $against"
  rm -rf "$against_dir/src"
  mkdir -p "$against_dir/src"
  git archive "$against" | tar -x -C "$against_dir/src"
}

need_valgrind() {
  command -v valgrind >/dev/null || die "valgrind is needed for the instruction counts (apt-get install valgrind)"
}

# The native build and the 8-register build, timed alternately so that both see the same load;
# the band-by-band cases in the native build only.
run_native() {
  need_valgrind
  build "$native_dir" process_bench
  build "$native8_dir" process_bench -DMULCHVOICE_8REG=ON
  if [ -n "$against" ]; then
    export_against
    source=$against_dir/src build "$against_dir/native" process_bench
    source=$against_dir/src build "$against_dir/native-8reg" process_bench -DMULCHVOICE_8REG=ON
  fi
  local output=$native_dir/bench-output.txt names name block expected=0 expected8=0
  mapfile -t names < <("$native_dir/tools/bench/process_bench" --list)
  [ "${#names[@]}" -gt 0 ] || die "the native program lists no cases"
  local turns="the two builds alternately"
  [ -z "$against" ] || turns="the two builds alternately, each right before the same build of $against"
  echo "# processReplacing of the effect object, natively and with 8 vector registers:" \
    "median of 7 runs of 88200 frames, $turns"
  : >"$output"
  for name in "${names[@]}"; do
    for block in "${blocks[@]}"; do
      if [ -n "$against" ]; then
        native_lines_against "$native_dir" "$against_dir/native" "$name" "$block" | tee -a "$output"
      else
        native_line "$native_dir" "$name" "$block" | tee -a "$output"
      fi
      expected=$((expected + 1))
      case $name in band-by-band-*) continue ;; esac
      if [ -n "$against" ]; then
        native_lines_against "$native8_dir" "$against_dir/native-8reg" "$name" "$block" |
          tee -a "$output"
      else
        native_line "$native8_dir" "$name" "$block" | tee -a "$output"
      fi
      expected8=$((expected8 + 1))
    done
  done
  # Every line names a build starting with "native-"; the 8-register build's have "native-8reg-".
  # With --against each line has its ratio line too.
  local per=1
  [ -z "$against" ] || per=2
  check_lines "$output" native "$((per * (expected + expected8)))"
  check_lines "$output" native-8reg "$((per * expected8))"
}

# The LV2 plug-in and its peer, in the native tree; the peer comes from Debian's mda-lv2.
# One build tree's LV2 run; its lines get `prefix` before their names.
lv2_lines_of() {  # lv2_lines_of <build-dir> <prefix>
  local output=$1/lv2-bench-output.txt line name block instructions
  "$1/tools/bench/lv2_bench" >"$output" || { cat "$output"; die "the LV2 run in $1 failed"; }
  [ "$(grep -c '^RESULT ' "$output" || true)" -eq "$lv2_lines" ] ||
    die "the LV2 run printed too few RESULT lines (output: $output)"
  grep '^#' "$output" || true
  while read -r line; do
    case $line in
      *ns_per_sample=*) ;;
      *) echo "${line/RESULT name=/RESULT name=$2}"; continue ;;
    esac
    name=$(sed -n 's/^RESULT name=\([^ ]*\) .*/\1/p' <<<"$line")
    block=$(sed -n 's/.* block=\([0-9]*\) .*/\1/p' <<<"$line")
    instructions=$(instructions_per_sample "$1" "$name" "$block" lv2_bench) || exit 1
    echo "${line/RESULT name=/RESULT name=$2} instr_per_sample=$instructions"
  done < <(grep '^RESULT ' "$output")
}

run_lv2() {
  need_valgrind
  build "$native_dir" lv2_bench
  lv2_lines_of "$native_dir" ""
  peer_ns=$(sed -n 's/^RESULT name=peer-mda-vocoder block=512 ns_per_sample=\([0-9.]*\) .*/\1/p' \
              "$native_dir/lv2-bench-output.txt")
  if [ -n "$against" ]; then
    export_against
    source=$against_dir/src build "$against_dir/native" lv2_bench
    echo "# the same for $against:"
    lv2_lines_of "$against_dir/native" before-
  fi
}

# Every build's time at block 512 over the peer's, measured in the same run: one line per build
# and case with the gate on (the LV2 lines' own ratio, from runs taking turns, comes above).
peer_ns=
compare_with_peer() {  # compare_with_peer <output files...>
  [ -n "$peer_ns" ] || return 0
  local file line name ns
  for file in "$@"; do
    [ -f "$file" ] || continue
    while read -r name ns; do
      awk -v n="$name" -v ours="$ns" -v peer="$peer_ns" \
        'BEGIN { printf "RESULT name=%s-to-peer-mda-vocoder block=512 time_ratio=%.2f\n", n, ours / peer }'
    done < <(sed -n 's/^RESULT name=\([^ ]*-gate-on\) block=512 ns_per_sample=\([0-9.]*\) .*/\1 \2/p' "$file")
  done
}

wine_started=()
stop_wine() {
  local dir
  for dir in "${wine_started[@]}"; do
    tools/wine-env.sh stop "$dir" >/dev/null 2>&1 || echo "bench: stopping the Wine session of $dir failed" >&2
  done
  wine_started=()
}
trap stop_wine EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The DLL's instructions per frame under qemu-i386, counted from its log of every translated block
# (in_asm: the block's instructions) and of every block executed (exec, nochain: one line each),
# both filtered to the DLL's code. Wine runs in qemu through the shim tools/wine-env.sh uses
# where it must, on any machine, with the template prefix of the tree's session.
guest_instructions_per_sample() {  # guest_instructions_per_sample <name> <block>
  local dir shim log once rendered start size total
  # Absolute: the Wine server runs under qemu too, and logs from its own directory.
  dir=$(cd "$win32_dir" && pwd)/qemu-count
  shim=$dir/shim
  log=$dir/$1-$2
  make_qemu_shim "$shim"
  read -r start size < <(i686-w64-mingw32-objdump -h "$win32_dir/MULCHVOICE.dll" |
                         awk '$2 == ".text" { print $4, $3 }')
  [ -n "$start" ] || die "no .text section in $win32_dir/MULCHVOICE.dll"
  rm -f "$log".*
  once=$(eval "$(tools/wine-env.sh env "$win32_dir")" &&
         MULCHVOICE_DLL="Z:$(cd "$win32_dir" && pwd)/MULCHVOICE.dll" \
         QEMU_LOG=in_asm,exec,nochain QEMU_DFILTER="0x$start+0x$size" QEMU_LOG_FILENAME="$log.%d" \
         timeout 1800 qemu-i386 "$shim/lib/wine/wine" "$win32_dir/process_bench.exe" --once "$1" "$2" \
         </dev/null 2>"$log.err" | tr -d '\r') ||
    { tail -n 20 "$log.err" >&2; die "the qemu run of $1 at block $2 failed"; }
  rendered=$(sed -n 's/^ONCE .* rendered=\([0-9]*\)$/\1/p' <<<"$once")
  [ -n "$rendered" ] && [ "$rendered" -gt 0 ] || die "no frame count from --once $1 $2: $once"
  # The largest log is the process that ran the DLL; the others logged nothing.
  total=$(awk '
    /^IN:/ { pc = ""; n = 0; next }
    /^0x[0-9a-f]+:/ {
      # One line per instruction, its bytes then its mnemonic; long encodings go on in lines of
      # bytes alone.
      if ($0 ~ /^0x[0-9a-f]+: +([0-9a-f][0-9a-f] )*[0-9a-f][0-9a-f]  +[^ ]/) {
        if (n == 0) { pc = substr($1, 3, length($1) - 3) }
        n++
      }
      next
    }
    /^Trace / {
      if (pc != "") { size[pc] = n; pc = "" }
      split($0, fields, "/"); p = fields[2]; sub(/^0+/, "", p); total += size[p]
      next
    }
    { if (pc != "") { size[pc] = n; pc = "" } }
    END { printf "%d", total }' "$(ls -S "$log".[0-9]* | head -n 1)")
  rm -f "$log".*
  [ "$total" -gt 0 ] || die "qemu logged no instruction of MULCHVOICE.dll for $1 at block $2"
  awk -v total="$total" -v n="$rendered" 'BEGIN { printf "%.1f", total / n }'
}

# Times one tree's process_bench.exe under Wine; its RESULT lines go to the tree's output file.
run_windows() {  # run_windows <build-dir> <name prefix>
  local dir=$1 output=$1/bench-output.txt
  wine_started+=("$dir")
  tools/wine-env.sh start "$dir" >"$dir/bench-wine-start.log" 2>&1 ||
    { cat "$dir/bench-wine-start.log" >&2; die "starting the Wine session of $dir failed"; }
  # The program's text-mode output ends its lines with CR LF.
  tools/wine-env.sh run "$dir" --timeout 1800 "$dir/process_bench.exe" |
    tr -d '\r' | tee "$output" || die "the run under Wine failed (output: $output)"
  # Three cases and four block sizes for each kernel the processor runs: the SSE2 one at least.
  [ "$(grep -c "^RESULT name=$2-" "$output" || true)" -ge $(( 3 * ${#blocks[@]} )) ] ||
    die "the run under Wine printed too few RESULT lines (output: $output)"
}

# The 32-bit DLL, then the 64-bit one in the same run, each loaded by the host of its width.
run_dll() {
  build "$win32_dir" process_bench -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake
  build "$win64_dir" process_bench -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake
  run_windows "$win32_dir" dll
  run_windows "$win64_dir" dll64
  local name count
  if command -v qemu-i386 >/dev/null; then
    while read -r name; do
      count=$(guest_instructions_per_sample "$name" 512) || exit 1
      echo "RESULT name=dll-qemu-$name block=512 guest_instr_per_sample=$count"
    done < <(sed -n 's/^RESULT name=dll-\([^ ]*\) block=512 .*/\1/p' "$win32_dir/bench-output.txt")
  else
    echo "bench: qemu-i386 is missing: no guest instruction counts" >&2
  fi
  stop_wine
}

if [ "$native" = 1 ]; then run_native; fi
if [ "$lv2" = 1 ]; then run_lv2; fi
if [ "$dll" = 1 ]; then run_dll; fi
outputs=()
[ "$native" = 0 ] || outputs+=("$native_dir/bench-output.txt")
[ "$dll" = 0 ] || outputs+=("$win32_dir/bench-output.txt" "$win64_dir/bench-output.txt")
compare_with_peer "${outputs[@]}"
