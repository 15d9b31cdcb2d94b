#!/usr/bin/env bash
# Runs every test: the native unit tests (plain, with AddressSanitizer and UndefinedBehavior-
# Sanitizer, with ThreadSanitizer) and the 32-bit Windows tests of the real DLL under Wine.
# Installs what is missing first (as root). Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh

jobs=2
started=$(date +%s)
failed=()

step() { printf '\n=== %s\n' "$*"; }

build() {  # build <dir> <cmake options...>
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

run_ctest() {  # run_ctest <dir> <label> [ctest options...]
  local dir=$1 label=$2; shift 2
  if ! (cd "$dir" && ctest -j"$jobs" --output-on-failure --timeout 900 "$@"); then
    failed+=("$label")
  fi
  # The one-line figures the reliability programs print.
  grep -hE '^(threads|audio path|lv2 audio path|entry environment|wine [a-z ]+): ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null || true
}

mkdir -p build

step "native build and tests"
build build/native
run_ctest build/native native

step "native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
build build/asan -DMULCHVOICE_SANITIZE=address
run_ctest build/asan asan

step "native thread tests with ThreadSanitizer"
# Without the LV2 plug-in: it starts no threads and shares nothing between them, and the two
# builds above test it.
build build/tsan -DMULCHVOICE_SANITIZE=thread -DMULCHVOICE_LV2=OFF
run_ctest build/tsan tsan

step "fuzzing the effect through its record (clang, libFuzzer, 60 s)"
bash tools/fuzz.sh 60 build/fuzz || failed+=(fuzz)

step "32-bit Windows build and tests under Wine"
build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake
run_ctest build/win32 wine

elapsed=$(( $(date +%s) - started ))
echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]} (after ${elapsed}s)"
  exit 1
fi
echo "All test suites passed in ${elapsed}s."
