#!/usr/bin/env bash
# The LV2 plug-in's output level at each sample rate against its level at 44100 Hz, as a user
# would measure it: stereo files made with sox (left the speech, right the carrier), vocoded by
# lv2apply with the gate off and the other controls at their defaults, the RMS of output 1 over
# the last two of three seconds. A rate the plug-in refuses says so.
#
#   tools/lv2-rate-levels.sh [bundle-folder] [lv2apply options...]
#
# The bundle folder defaults to build/native/lv2-bundles; further options go to lv2apply, such
# as `-c filter 0.1`. The noise is the same on every run (sox -R).
set -euo pipefail
cd "$(dirname "$0")/.."

export LV2_PATH
LV2_PATH=$(realpath "${1:-build/native/lv2-bundles}")  # lilv wants it absolute
shift || true
rates=(8000 11025 16000 22050 44100 48000 96000)
inputs=("2274 Hz and 1000 Hz sines|sine 2274 sine 1000 vol 0.3"
        "1000 Hz sine on both|sine 1000 sine 1000 vol 0.3"
        "noise below 3.9 kHz on both|whitenoise vol 0.3 sinc -3900"
        "3553 Hz sine, noise below 3.9 kHz|sine 3553 whitenoise vol 0.3 sinc -3900"
        "2063 Hz sine on both, between bands|sine 2063 sine 2063 vol 0.1"
        "3300 Hz sine on both, above bands|sine 3300 sine 3300 vol 0.1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-38s' "input (left: speech, right: carrier)"
printf '%18s' "${rates[@]}"
echo
for input in "${inputs[@]}"; do
  declare -A level=()
  for rate in "${rates[@]}"; do
    # shellcheck disable=SC2086  # the synth arguments are words on purpose
    sox -R -n -r "$rate" -c 2 -b 32 -e float "$work/in.wav" synth 3 ${input#*|}
    # lv2apply goes down with a segmentation fault where the plug-in refuses the rate
    if { lv2apply -i "$work/in.wav" -o "$work/out.wav" -c mulch_io 0 "$@" \
           urn:mulchvoice:vocoder >/dev/null; } 2>/dev/null; then
      level[$rate]=$(sox "$work/out.wav" -n remix 1 trim 1 stat 2>&1 |
                     awk '/RMS +amplitude/ { print $3 }')
    fi
  done
  [ -n "${level[44100]:-}" ] || { echo "no plug-in at 44100 Hz in $LV2_PATH" >&2; exit 1; }
  printf '%-38s' "${input%%|*}"
  for rate in "${rates[@]}"; do
    if [ -z "${level[$rate]:-}" ]; then
      printf '%18s' refused
    else
      printf '%18s' "$(awk -v l="${level[$rate]}" -v r="${level[44100]}" \
                       'BEGIN { printf "%.4f (%+.1f dB)", l, 20 * log(l / r) / log(10) }')"
    fi
  done
  echo
  unset level
done
