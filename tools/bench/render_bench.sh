#!/usr/bin/env bash
# The offline host's speed as its users meet it: the wall time of `tools/mulchvoice render` on a
# minute of stereo audio (one 16-bit stereo WAV file, speech left and carrier right, rendered to
# 24-bit WAV), reading and writing included, natively through the LV2 plug-in and through each DLL
# under Wine, three runs of each, taking turns. Prints the median of each route and its ratio to
# the native one:
#
#   RESULT name=render-native audio_seconds=60 wall_seconds=0.12 rtf=500.0
#   RESULT name=render-dll32 audio_seconds=60 wall_seconds=3.10 rtf=19.4
#   RESULT name=render-dll32-to-native time_ratio=25.8
#
# A DLL route's time includes the start of the Wine session of its command (the tree's display
# runs throughout, as once tools/mulchvoice has started it). It needs the native tree built and,
# for the DLL lines, the Windows trees' MULCHVOICE.dll and mvdllhost.exe; --native-only leaves
# the DLLs out.
#
#   bash tools/bench/render_bench.sh [--native-only]
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tools/lib/xvfb.sh
source tools/lib/xvfb.sh

runs=3
seconds=60
routes=(native)
[ "${1:-}" = --native-only ] || routes+=(dll32 dll64)

work=$(mktemp -d /tmp/render-bench.XXXXXX)
started_trees=()
finish() {
  local tree
  for tree in "${started_trees[@]}"; do bash tools/wine-env.sh stop "$tree" >/dev/null 2>&1 || true; done
  rm -rf "$work"
}
trap finish EXIT

sox -D -n -r 44100 -c 2 -b 16 "$work/in.wav" synth "$seconds" sine 220 sawtooth 110 \
  tremolo 3 100 vol 0.5

for route in "${routes[@]}"; do
  [ "$route" != native ] || continue
  tree=$PWD/build/win${route#dll}
  if ! xvfb_display "$tree/wine-env" >/dev/null; then
    bash tools/wine-env.sh start "$tree" >/dev/null
    started_trees+=("$tree")
  fi
done

render() {  # render ROUTE: one render, its wall time in seconds on stdout
  local options=() begin end
  [ "$1" = native ] || options=(--dll "build/win${1#dll}/MULCHVOICE.dll")
  begin=$(date +%s%N)
  tools/mulchvoice render "${options[@]}" --input "$work/in.wav" --output "$work/out-$1.wav" \
    --no-progress >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
  end=$(date +%s%N)
  echo "scale=3; ($end - $begin) / 1000000000" | bc
}

declare -A times
for _ in $(seq "$runs"); do
  for route in "${routes[@]}"; do times[$route]+="$(render "$route") "; done
done

median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | sed -n "$(( (runs + 1) / 2 ))p"; }
native=$(median "${times[native]}")
for route in "${routes[@]}"; do
  wall=$(median "${times[$route]}")
  printf 'RESULT name=render-%s audio_seconds=%s wall_seconds=%.3f rtf=%.1f\n' "$route" "$seconds" \
    "$wall" "$(echo "$seconds / $wall" | bc -l)"
done
for route in "${routes[@]}"; do
  [ "$route" != native ] || continue
  printf 'RESULT name=render-%s-to-native time_ratio=%.1f\n' "$route" \
    "$(echo "$(median "${times[$route]}") / $native" | bc -l)"
done
