#!/usr/bin/env bash
# lv2apply, lilv's command-line host, vocodes a stereo WAV file with the bundle where cmake
# --install puts it, as the README shows: the speech on the left, the carrier on the right, at
# 48000 Hz and with the gate off. The output must hold both channels at the input's rate and
# length, the same samples on both, and sound.
#
#   lv2apply_test.sh <build tree> <scratch folder>
set -euo pipefail
work=$2
rm -rf "$work"
mkdir -p "$work"
cmake --install "$1" --prefix "$work/prefix" >"$work/install.log"
export LV2_PATH=$work/prefix/lib/lv2

# Left a buzz whose level rises and falls twice a second, right a sawtooth: two seconds.
sox -n -r 48000 -b 24 "$work/in.wav" synth 2 sawtooth 140 sawtooth 110 remix 1 2 tremolo 2 100
lv2apply -i "$work/in.wav" -o "$work/out.wav" -c mulch_io 0 urn:mulchvoice:vocoder

format() { echo "$(soxi -c "$1") channels, $(soxi -r "$1") Hz, $(soxi -s "$1") samples"; }
[ "$(format "$work/out.wav")" = "2 channels, 48000 Hz, 96000 samples" ] ||
  { echo "FAIL: the output has $(format "$work/out.wav")"; exit 1; }
# The difference of the channels is silent; the left channel is not.
difference=$(sox "$work/out.wav" -n remix 1,2v-1 stat 2>&1 | sed -n 's/^Maximum amplitude: *//p')
level=$(sox "$work/out.wav" -n remix 1 stat 2>&1 | sed -n 's/^RMS *amplitude: *//p')
echo "channel difference peak $difference, RMS level $level"
awk -v d="$difference" -v l="$level" 'BEGIN { exit !(d == 0 && l > 0.001) }' ||
  { echo "FAIL: the channels differ or the output is silent"; exit 1; }
