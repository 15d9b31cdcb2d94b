#!/usr/bin/env bash
# The demo in one command: installs what is missing (as root), builds the 32-bit and the 64-bit
# Windows trees (MULCHVOICE.dll for 32-bit and for 64-bit hosts, and the offline host), vocodes
# demo/speech.wav through the 32-bit DLL under Wine with the built-in carrier, with the Mulch gate
# on and off and with a chord, saves a picture of the editor, and says where everything is.
# Results go to out/.
#
#   demo/run-demo.sh            (build tree: $MULCHVOICE_BUILD, default build/win32; the 64-bit
#                                DLL in build/win64)
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/lib/xvfb.sh
source tools/lib/xvfb.sh

bash tools/install-deps.sh
build=${MULCHVOICE_BUILD:-build/win32}
export MULCHVOICE_BUILD=$build

echo "=== building $build"
mkdir -p "$(dirname "$build")"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j2 --target mvrender

build64=build/win64
echo "=== building $build64"
cmake -S . -B "$build64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake >"$build64.configure.log" 2>&1 ||
  { cat "$build64.configure.log"; exit 1; }
cmake --build "$build64" -j2 --target MULCHVOICE mvrender

# One Wine session for all the commands below (unless one is running already).
started=0
if ! xvfb_display "$build/wine-env" >/dev/null; then
  echo "=== starting Wine (the first time creates its prefix, which takes a while)"
  bash tools/wine-env.sh start "$build" >/dev/null
  started=1
fi
trap '[ "$started" = 1 ] && bash tools/wine-env.sh stop "$build" >/dev/null 2>&1 || true' EXIT

mkdir -p out
speech=demo/speech.wav
echo "=== rendering $speech"
tools/mulchvoice render --speech "$speech" --param gain=1 --output out/demo-gate-on.wav
tools/mulchvoice render --speech "$speech" --param gain=1 --param "mulch I/O=off" \
  --output out/demo-gate-off.wav
tools/mulchvoice render --speech "$speech" --param gain=1 --param "mulch I/O=off" \
  --carrier-wave chord --pitch C3 --output out/demo-chord.wav
tools/mulchvoice screenshot --output out/editor.png

cat <<EOT

=== done
  out/demo-gate-on.wav    the speech vocoded with a 110 Hz sawtooth, the Mulch gate chopping it
  out/demo-gate-off.wav   the same without the gate
  out/demo-chord.wav      gate off, a C major chord as the carrier
  out/editor.png          the plug-in's editor as a host shows it
  $speech        the voice that went in
  $build/MULCHVOICE.dll    the plug-in for 32-bit hosts
  $build64/MULCHVOICE.dll    the plug-in for 64-bit hosts (same name: each goes into its host's folder)

Listen with any audio player, e.g.:  play out/demo-gate-on.wav   (sox)  or  aplay out/demo-gate-off.wav
Vocode your own voice:  tools/mulchvoice render --speech voice.wav --output out/mine.wav
EOT
