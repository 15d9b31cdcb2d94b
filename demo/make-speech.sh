#!/usr/bin/env bash
# Remakes demo/speech.wav, the bundled voice of the demo: one sentence spoken by espeak-ng,
# trimmed of silence, resampled to 44100 Hz mono 16-bit (the rate Mulchvoice is tuned for)
# and normalised to -3 dBFS. It is committed, so the demo needs neither tool; this script
# only documents how it was made (sox -R: repeatable dither). Needs espeak-ng and sox.
set -euo pipefail
cd "$(dirname "$0")"
raw=$(mktemp --suffix=.wav)
trap 'rm -f "$raw"' EXIT
espeak-ng -v en-us -s 165 -w "$raw" "Hello, this is Mulchvoice. My voice shapes the carrier."
sox -R "$raw" -r 44100 -c 1 -b 16 -t wavpcm speech.wav \
  silence 1 0.01 0.1% reverse silence 1 0.01 0.1% reverse pad 0.1 0.2 gain -n -3
