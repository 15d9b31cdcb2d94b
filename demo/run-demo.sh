#!/usr/bin/env bash
# The demo in one command: installs what is missing (as root; Wine only with --dll), builds the
# native tree (the offline host and the LV2 plug-in) and the 32-bit and the 64-bit Windows trees'
# MULCHVOICE.dll, vocodes demo/speech.wav natively with the built-in carrier, with the Mulch gate
# on and off and with a chord, and says where everything is. Results go to out/.
#
#   demo/run-demo.sh          natively: no Wine
#   demo/run-demo.sh --dll    also through the 32-bit DLL under Wine (the same samples, bit for
#                             bit), and a picture of its editor
set -euo pipefail
cd "$(dirname "$0")/.."

with_dll=0
case ${1:-} in
  '') ;;
  --dll) with_dll=1 ;;
  *) echo "usage: demo/run-demo.sh [--dll]" >&2; exit 2 ;;
esac
if [ "$with_dll" = 1 ]; then bash tools/install-deps.sh; else bash tools/install-deps.sh --without-wine; fi

# The three trees are configured without their tests (tools/test.sh turns them back on) and
# built side by side, each tree's output in its build log: configuring runs mostly one process
# at a time, and building each tree ends in steps that wait for one another.
in_background() {  # in_background LOG COMMAND...: runs it, the log shown only if it fails
  local log=$1
  shift
  ("$@" >"$log" 2>&1 || { cat "$log"; exit 1; }) &
}
wait_all() {  # wait_all PID...: fails if any of them failed
  local failed=0 pid
  for pid in "$@"; do wait "$pid" || failed=1; done
  [ "$failed" = 0 ]
}
configure() {  # configure DIR CMAKE-OPTIONS...
  local dir=$1
  shift
  in_background "$dir.configure.log" cmake -S . -B "$dir" -DMULCHVOICE_TESTS=OFF "$@"
}
build() {  # build DIR TARGET...
  local dir=$1
  shift
  in_background "$dir.build.log" cmake --build "$dir" -j2 --target "$@"
}
mkdir -p build
echo "=== configuring build/native, build/win32 and build/win64"
configure build/native
native=$!
configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake
win32=$!
configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake
win64=$!
wait_all "$native" "$win32" "$win64" || exit 1

win32_targets=(MULCHVOICE)
[ "$with_dll" = 0 ] || win32_targets+=(mvdllhost)
echo "=== building build/native (the offline host, the LV2 plug-in and its panel), build/win32 and build/win64"
build build/native mvrender mulchvoice_ui
native=$!
build build/win32 "${win32_targets[@]}"
win32=$!
build build/win64 MULCHVOICE
win64=$!
wait_all "$native" "$win32" "$win64" || exit 1

mkdir -p out
speech=demo/speech.wav
echo "=== rendering $speech"
tools/mulchvoice render --speech "$speech" --param gain=1 --output out/demo-gate-on.wav
tools/mulchvoice render --speech "$speech" --param gain=1 --param "mulch I/O=off" \
  --output out/demo-gate-off.wav
tools/mulchvoice render --speech "$speech" --param gain=1 --param "mulch I/O=off" \
  --carrier-wave chord --pitch C3 --output out/demo-chord.wav

dll_lines=
if [ "$with_dll" = 1 ]; then
  echo "=== the same through the 32-bit DLL under Wine (the first start creates its prefix)"
  # One Wine session for both commands.
  # shellcheck source=tools/lib/xvfb.sh
  source tools/lib/xvfb.sh
  started=0
  if ! xvfb_display build/win32/wine-env >/dev/null; then
    bash tools/wine-env.sh start build/win32 >/dev/null
    started=1
  fi
  trap '[ "$started" = 1 ] && bash tools/wine-env.sh stop build/win32 >/dev/null 2>&1 || true' EXIT
  tools/mulchvoice render --dll build/win32/MULCHVOICE.dll --speech "$speech" --param gain=1 \
    --output out/demo-gate-on-dll.wav
  tools/mulchvoice screenshot --output out/editor.png
  same="NOT the same samples as"
  if cmp -s out/demo-gate-on.wav out/demo-gate-on-dll.wav; then same="bit for bit the same as"; fi
  dll_lines="  out/demo-gate-on-dll.wav  through the 32-bit DLL: $same out/demo-gate-on.wav
  out/editor.png          the DLL's editor as a host shows it"
fi

cat <<EOT

=== done
  out/demo-gate-on.wav    the speech vocoded with a 110 Hz sawtooth, the Mulch gate chopping it
  out/demo-gate-off.wav   the same without the gate
  out/demo-chord.wav      gate off, a C major chord as the carrier
${dll_lines:+$dll_lines
}  $speech        the voice that went in
  build/native/lv2-bundles/mulchvoice.lv2   the LV2 plug-in for Linux hosts
  build/win32/MULCHVOICE.dll    the plug-in for 32-bit hosts
  build/win64/MULCHVOICE.dll    the plug-in for 64-bit hosts (same name: each goes into its host's folder)

Listen with any audio player, e.g.:  play out/demo-gate-on.wav   (sox)  or  aplay out/demo-gate-off.wav
Vocode your own voice:  tools/mulchvoice render --speech voice.wav --output out/mine.wav
EOT
