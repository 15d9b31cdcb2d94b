#!/usr/bin/env bash
# The soak: one instance of MULCHVOICE.dll under Wine for a long time, processing audio without
# pause while parameters move and its editor is opened and closed in new host windows every
# couple of seconds; the process's memory, heap, GDI and USER objects, handles and
# thread-local-storage slots are sampled between editor sessions and printed as a curve.
# Exits non-zero if anything grew after the warm-up or any block was not finite.
#
#   tools/soak.sh [minutes] [seconds between samples] [build-dir]
#
# Defaults: 60 minutes of wall time (under emulation the audio thread processes several times
# that much sound), a sample every minute (30 samples over shorter runs), build/soak-win32.
# Builds what it needs first; the Wine session is stopped again at the end.
#
#   tools/soak.sh lv2 [minutes] [build-dir]
#
# The LV2 plug-in instead, live in jalv under a JACK server of its own, all eight controls
# moving for that long (tools/lv2-live.sh; default 10 minutes, build/native). Its recording
# takes about 23 MB a minute.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = lv2 ]; then
  exec bash tools/lv2-live.sh $(( ${2:-10} * 60 )) "${3:-build/native}"
fi

minutes=${1:-60}
interval=${2:-}
build=${3:-build/soak-win32}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake >/dev/null
fi
cmake --build "$build" -j2 --target MULCHVOICE reliability_soak >/dev/null

program=$(find "$build/tests/wine/reliability" -name reliability_soak.exe | head -n 1)
[ -n "$program" ] || { echo "soak: reliability_soak.exe was not built" >&2; exit 1; }

bash tools/wine-env.sh start "$build" >/dev/null
trap 'bash tools/wine-env.sh stop "$build" >/dev/null' EXIT

export MULCHVOICE_DLL="Z:$(cd "$build" && pwd)/MULCHVOICE.dll"
seconds=$(awk -v m="$minutes" 'BEGIN { printf "%d", m * 60 + 300 }')
bash tools/wine-env.sh run "$build" --timeout "$seconds" "$program" "$minutes" $interval
