#!/usr/bin/env bash
# End-to-end checks of the offline host as its users run it, tools/mulchvoice: natively through
# the LV2 plug-in of the native build tree (the cases the native tree's CTest runs), and through
# a real DLL under Wine (the cases a Windows tree's CTest runs, each with tools/wine-env.sh run,
# so that every command of the case runs in the case's own Wine session, under its watchdog).
#
#   render_checks.sh CASE        (CASE: see the functions check_* and refuses_* below)
#
# Environment: RENDER_WORK (room for the cases' files), MULCHVOICE_NATIVE_BUILD (the native
# tree); for the DLL's cases MULCHVOICE_BUILD (the Windows tree, whose MULCHVOICE.dll they
# render) and RENDER_FIXTURES (libraries that are no working plug-ins).
set -euo pipefail

root=$(cd "$(dirname "$0")/../../.." && pwd)
work=${RENDER_WORK:?}
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

# Two seconds of a voice-like signal (two tones and noise under a syllable-rate envelope) and a
# carrier of one and a half (a ramp at 110 Hz with a fifth above), shorter, so that the render
# pads it.
speech=$scratch/speech.wav
carrier=$scratch/carrier.wav
sox -D -n -r 44100 -c 1 -b 16 "$speech" synth 2 sine 220 synth 2 sine mix 1250 \
  synth 2 whitenoise mix tremolo 3 100 vol 0.5
sox -D -n -r 44100 -c 1 -b 16 "$carrier" synth 1.5 sawtooth 110 synth 1.5 sawtooth mix 165 vol 0.4

# --- Natively, through the LV2 plug-in --------------------------------------------------------

check_builtin_carrier() {
  mulchvoice render --speech "$root/demo/speech.wav" --carrier-wave chord --pitch C3 --output "$scratch/out.flac"
  contains "$scratch/stderr" "carrier: built-in major chord at 130.8 Hz"
  contains "$scratch/stdout" "3.78 s of audio"
  [ "$(soxi -s "$scratch/out.flac")" = "$(soxi -s "$root/demo/speech.wav")" ] || fail "the output is not as long as the speech"
  [ "$(soxi -t "$scratch/out.flac")" = flac ] || fail "the output is no FLAC file"
}

check_summary_and_progress() {
  mulchvoice render --speech "$speech" --carrier "$carrier" --progress --output "$scratch/out.wav"
  contains "$scratch/stderr" "100%"
  grep -Eq "out.wav: 2.00 s of audio, peak -?[0-9.]+ dBFS, took [0-9.]+ s, [0-9.]+x real time" "$scratch/stdout" ||
    fail "no summary line"
  mulchvoice render --speech "$speech" --carrier "$carrier" --output "$scratch/quiet.wav" </dev/null
  ! grep -q '%' "$scratch/stderr" || fail "a progress bar although the output is no terminal"
}

check_info() {
  mulchvoice info
  contains "$scratch/stdout" "plug-in        urn:mulchvoice:vocoder (LV2)"
  contains "$scratch/stdout" "7  mulch I/O    1          symbol mulch_io, a toggle"
}

check_help() {
  mulchvoice help
  contains "$scratch/stdout" "Usage: mulchvoice COMMAND [OPTIONS]"
}

refuses_missing_file() { refuse 1 "missing.wav: cannot open: " --speech "$scratch/missing.wav"; }
refuses_not_audio() {
  echo "just some text" >"$scratch/text.wav"
  refuse 1 "text.wav: not an audio file" --speech "$scratch/text.wav"
}
refuses_empty() {
  : >"$scratch/empty.flac"
  refuse 1 "empty.flac: the file is empty" --speech "$scratch/empty.flac"
}
refuses_truncated() {
  head -c 50000 "$speech" >"$scratch/cut.wav"
  refuse 1 "cut.wav: truncated file" --speech "$scratch/cut.wav" --carrier "$carrier"
}
refuses_corrupt() {
  cp "$speech" "$scratch/corrupt.wav"
  printf '\000\000' | dd of="$scratch/corrupt.wav" bs=1 seek=22 conv=notrunc status=none  # 0 channels
  refuse 1 "corrupt.wav: cannot read it: Channel count is zero" --speech "$scratch/corrupt.wav"
}
refuses_three_channels() {
  sox -D -n -r 44100 -c 3 -b 16 "$scratch/three.wav" synth 0.1 sine 440
  refuse 1 "three.wav: the file has 3 channels; only mono and stereo files are supported" --speech "$scratch/three.wav"
}
refuses_low_rate() {
  sox -D "$speech" -r 16000 "$scratch/16k.wav"
  refuse 1 "the input is 16000 Hz, but the plug-in runs at 22050 to 384000 Hz" --speech "$scratch/16k.wav"
}
refuses_unknown_parameter() {
  refuse 1 "unknown parameter 'volume'; valid names: carrier, speech, filter" --speech "$speech" --param volume=0.5
}
refuses_bad_option() { refuse 2 "bad --bits '12': give 16, 24 or 32f" --speech "$speech" --bits 12; }
refuses_missing_dll() { refuse 1 "none.dll: no such file" --speech "$speech" --dll "$scratch/none.dll"; }

# --- Through the DLL of the Windows tree under Wine --------------------------------------------

dll=${MULCHVOICE_BUILD:-}/MULCHVOICE.dll
fixtures=${RENDER_FIXTURES:-}

# At 44100 Hz the DLL and the LV2 plug-in give the same samples, bit for bit.
check_dll_matches_lv2() {
  local gate
  for gate in on off; do
    mulchvoice render --speech "$speech" --carrier "$carrier" --bits 32f --param "mulch I/O=$gate" \
      --output "$scratch/lv2.wav"
    mulchvoice render --dll "$dll" --speech "$speech" --carrier "$carrier" --bits 32f \
      --param "mulch I/O=$gate" --output "$scratch/dll.wav"
    same_file "$scratch/lv2.wav" "$scratch/dll.wav"
  done
}

check_block_sizes() {
  mulchvoice render --dll "$dll" --speech "$speech" --carrier "$carrier" --bits 32f --block-size 512 --output "$scratch/512.wav"
  for size in 4096 3001 1; do
    mulchvoice render --dll "$dll" --speech "$speech" --carrier "$carrier" --bits 32f --block-size $size --output "$scratch/$size.wav"
    same_file "$scratch/512.wav" "$scratch/$size.wav"
  done
}

check_notice_and_rates() {
  mulchvoice render --dll "$dll" --speech "$speech" --carrier "$carrier" --output "$scratch/notice.wav"
  contains "$scratch/stderr" "notice shown: Ferrowave: This is a beta copy of Mulchvoice 0.801v."
  contains "$scratch/stdout" "notice.wav: 2.00 s of audio"
  sox -D "$speech" -r 48000 "$scratch/48k.wav"
  refuse 1 "48000 Hz, but the DLL's tuning is fixed at 44100 Hz" --dll "$dll" --speech "$scratch/48k.wav"
  mulchvoice render --dll "$dll" --speech "$scratch/48k.wav" --force-rate --output "$scratch/48k-out.wav"
  contains "$scratch/stderr" "processing at 48000 Hz as asked"
  [ "$(soxi -r "$scratch/48k-out.wav")" = 48000 ] || fail "the output is not at 48000 Hz"
}

check_long_input() {
  sox -D -n -r 44100 -c 1 -b 16 "$scratch/long.wav" synth 600 sine 180 sine 2500 vol 0.4
  mulchvoice render --dll "$dll" --speech "$scratch/long.wav" --bits 16 --output "$scratch/out.wav"
  contains "$scratch/stdout" "10:00.0 of audio"
  grep -Eq "[0-9.]+x real time" "$scratch/stdout" || fail "no real-time factor"
  [ "$(soxi -s "$scratch/out.wav")" = 26460000 ] || fail "the output is not 10 minutes long"
  rm -f "$scratch/long.wav" "$scratch/out.wav"
}

check_info_dll() {
  mulchvoice info --dll "$dll"
  contains "$scratch/stdout" "unique ID      'MvQz' (0x4D76517A)"
  contains "$scratch/stdout" "flags          0x11: has editor, can replace"
  contains "$scratch/stdout" "7  mulch I/O"
  contains "$scratch/stdout" "1  Smooth Mulch"
  contains "$scratch/stderr" "notice shown: Ferrowave"
}

check_screenshot() {
  mulchvoice screenshot --dll "$dll" --param gain=1 --output "$scratch/editor.png"
  contains "$scratch/stdout" "editor.png: the editor's picture"
  # PNG signature, then the IHDR chunk: width and height as big-endian 32-bit numbers.
  [ "$(od -An -tx1 -N8 "$scratch/editor.png" | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "not a PNG file"
  [ "$(od -An -tx1 -j16 -N8 "$scratch/editor.png" | tr -d ' \n')" = 000001df000000a1 ] || fail "not 479 x 161 pixels"
}

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
