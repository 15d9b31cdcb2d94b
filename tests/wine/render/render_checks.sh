#!/usr/bin/env bash
# End-to-end checks of the offline host: tools/mulchvoice runs mvrender.exe under Wine with the
# real MULCHVOICE.dll. CTest runs each case with tools/wine-env.sh run, so that every command of
# the case runs in the case's own Wine session, under its watchdog.
#
#   render_checks.sh CASE        (CASE: see the functions check_* and refuses_* below)
#
# Environment: MULCHVOICE_BUILD (the 32-bit Windows build tree), RENDER_WORK (the signals and
# references engine_reference wrote, and room for outputs), RENDER_FIXTURES (the fixture DLLs).
set -euo pipefail

root=$(cd "$(dirname "$0")/../../.." && pwd)
work=${RENDER_WORK:?}
fixtures=${RENDER_FIXTURES:?}
case_name=${1:?usage: render_checks.sh CASE}
scratch=$work/$case_name
rm -rf "$scratch"
mkdir -p "$scratch"

fail() { echo "FAIL: $*" >&2; exit 1; }

# mulchvoice ARGS...: runs the tool; its output lands in $scratch/stdout and $scratch/stderr.
mulchvoice() {
  local status=0
  "$root/tools/mulchvoice" "$@" >"$scratch/stdout" 2>"$scratch/stderr" || status=$?
  echo "--- mulchvoice $* (exit $status)"
  cat "$scratch/stdout" "$scratch/stderr"
  return "$status"
}

same_file() { cmp "$1" "$2" || fail "$1 and $2 differ"; }
contains() { grep -qF -- "$2" "$1" || fail "$(basename "$1") lacks: $2"; }

# A render that must fail: exit code 1 (2 for a command-line mistake), one error line naming
# the fault besides the notice, and neither the output nor a temporary file left behind.
refuse() {  # refuse EXPECTED_EXIT MESSAGE ARGS...
  local expected=$1 message=$2 status=0
  shift 2
  local out=$scratch/out.wav
  mulchvoice render "$@" --output "$out" || status=$?
  [ "$status" = "$expected" ] || fail "exit code $status, expected $expected"
  contains "$scratch/stderr" "$message"
  local errors
  errors=$(grep -v '^notice shown: ' "$scratch/stderr" | grep -c . || true)
  [ "$errors" = 1 ] || fail "expected one error line, got $errors"
  grep -v '^notice shown: ' "$scratch/stderr" | grep -q '^mulchvoice: ' || fail "the error line does not start with 'mulchvoice: '"
  [ ! -e "$out" ] || fail "an output file was left behind"
  ! ls "$scratch" | grep -q '\.tmp$' || fail "a temporary file was left behind: $(ls "$scratch")"
}

speech=$work/speech.wav
carrier=$work/carrier.wav

check_matches_engine() {
  mulchvoice render --speech "$speech" --carrier "$carrier" --bits 32f --output "$scratch/gate.wav"
  same_file "$work/reference.wav" "$scratch/gate.wav"
  mulchvoice render --speech "$speech" --carrier "$carrier" --bits 32f --param "mulch I/O=off" \
    --output "$scratch/nogate.wav"
  same_file "$work/reference_nogate.wav" "$scratch/nogate.wav"
}

check_stereo_equals_mono() {
  mulchvoice render --input "$work/stereo.wav" --bits 16 --output "$scratch/stereo.wav"
  mulchvoice render --speech "$speech" --carrier "$carrier" --bits 16 --output "$scratch/mono.wav"
  same_file "$scratch/mono.wav" "$scratch/stereo.wav"
}

check_block_sizes() {
  mulchvoice render --speech "$speech" --carrier "$carrier" --bits 32f --block-size 512 --output "$scratch/512.wav"
  for size in 4096 3001 1; do
    mulchvoice render --speech "$speech" --carrier "$carrier" --bits 32f --block-size $size --output "$scratch/$size.wav"
    same_file "$scratch/512.wav" "$scratch/$size.wav"
  done
}

check_builtin_carrier() {
  mulchvoice render --speech "$root/demo/speech.wav" --carrier-wave chord --pitch C3 --output "$scratch/out.wav"
  contains "$scratch/stderr" "carrier: built-in major chord at 130.8 Hz"
  contains "$scratch/stdout" "3.78 s of audio"
  [ "$(soxi -s "$scratch/out.wav")" = "$(soxi -s "$root/demo/speech.wav")" ] || fail "the output is not as long as the speech"
}

check_notice_and_summary() {
  mulchvoice render --speech "$speech" --carrier "$carrier" --progress --output "$scratch/out.wav"
  contains "$scratch/stderr" "notice shown: Ferrowave: This is a beta copy of Mulchvoice 0.801v."
  contains "$scratch/stderr" "100%"
  grep -Eq "out.wav: 2.00 s of audio, peak -?[0-9.]+ dBFS, took [0-9.]+ s, [0-9.]+x real time" "$scratch/stdout" ||
    fail "no summary line"
  mulchvoice render --speech "$speech" --carrier "$carrier" --output "$scratch/quiet.wav" </dev/null
  ! grep -q '%' "$scratch/stderr" || fail "a progress bar although the output is no terminal"
}

check_long_input() {
  sox -D -n -r 44100 -c 1 -b 16 "$scratch/long.wav" synth 600 sine 180 sine 2500 vol 0.4
  mulchvoice render --speech "$scratch/long.wav" --bits 16 --output "$scratch/out.wav"
  contains "$scratch/stdout" "10:00.0 of audio"
  grep -Eq "[0-9.]+x real time" "$scratch/stdout" || fail "no real-time factor"
  [ "$(soxi -s "$scratch/out.wav")" = 26460000 ] || fail "the output is not 10 minutes long"
  rm -f "$scratch/long.wav" "$scratch/out.wav"
}

check_info() {
  mulchvoice info
  contains "$scratch/stdout" "unique ID      'MvQz' (0x4D76517A)"
  contains "$scratch/stdout" "flags          0x11: has editor, can replace"
  contains "$scratch/stdout" "7  mulch I/O"
  contains "$scratch/stdout" "1  Smooth Mulch"
  contains "$scratch/stderr" "notice shown: Ferrowave"
}

check_screenshot() {
  mulchvoice screenshot --param gain=1 --output "$scratch/editor.png"
  # PNG signature, then the IHDR chunk: width and height as big-endian 32-bit numbers.
  [ "$(od -An -tx1 -N8 "$scratch/editor.png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "not a PNG file"
  [ "$(od -An -tx1 -j16 -N8 "$scratch/editor.png" | tr -d ' \n')" = 000001df000000a1 ] || fail "not 479 x 161 pixels"
}

check_help() {
  mulchvoice help
  contains "$scratch/stdout" "Usage: mulchvoice COMMAND [OPTIONS]"
}

refuses_missing_file() { refuse 1 "missing.wav: cannot open: " --speech "$scratch/missing.wav"; }
refuses_not_a_wav() {
  echo "just some text" >"$scratch/text.wav"
  refuse 1 "text.wav: not a WAV file" --speech "$scratch/text.wav"
}
refuses_truncated() {
  head -c 50000 "$speech" >"$scratch/cut.wav"
  refuse 1 "cut.wav: truncated WAV file" --speech "$scratch/cut.wav" --carrier "$carrier"
}
refuses_corrupt() {
  cp "$speech" "$scratch/corrupt.wav"
  printf '\000\000' | dd of="$scratch/corrupt.wav" bs=1 seek=22 conv=notrunc status=none  # 0 channels
  refuse 1 "corrupt.wav: corrupt WAV file: it declares 0 channels" --speech "$scratch/corrupt.wav"
}
refuses_unsupported_format() {
  sox -D "$speech" -e ms-adpcm "$scratch/adpcm.wav"
  refuse 1 "adpcm.wav: unsupported WAV encoding: Microsoft ADPCM" --speech "$scratch/adpcm.wav"
}
refuses_three_channels() {
  sox -D -n -r 44100 -c 3 -b 16 "$scratch/three.wav" synth 0.1 sine 440
  refuse 1 "three.wav: the file has 3 channels; only mono and stereo files are supported" --speech "$scratch/three.wav"
}
refuses_other_rate() {
  sox -D "$speech" -r 48000 "$scratch/48k.wav"
  refuse 1 "the plug-in's tuning is fixed at 44100 Hz" --speech "$scratch/48k.wav"
}
refuses_unknown_parameter() {
  refuse 1 "unknown parameter 'volume'; valid names: carrier, speech, filter" --speech "$speech" --param volume=0.5
}
refuses_bad_option() { refuse 2 "bad --bits '12': give 16, 24 or 32f" --speech "$speech" --bits 12; }
refuses_missing_dll() { refuse 1 "none.dll: no such file" --speech "$speech" --dll "$scratch/none.dll"; }
refuses_dll_not_a_library() {
  echo "not a library" >"$scratch/text.dll"
  refuse 1 "cannot load" --speech "$speech" --dll "$scratch/text.dll"
}
refuses_dll_without_main() {
  refuse 1 "not a VST 1.0 effect (it exports no function named main)" --speech "$speech" --dll "$fixtures/no_main.dll"
}
refuses_dll_whose_main_returns_null() {
  refuse 1 "null_main.dll: its main returned no effect (null)" --speech "$speech" --dll "$fixtures/null_main.dll"
}
refuses_dll_not_an_effect() {
  refuse 1 "not a VST 1.0 effect (its main returned no effect record with the magic 'VstP')" \
    --speech "$speech" --dll "$fixtures/not_an_effect.dll"
}

declare -F "$case_name" >/dev/null || fail "no such case: $case_name"
"$case_name"
rm -rf "$scratch"
echo "PASS: $case_name"
