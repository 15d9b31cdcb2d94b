#!/usr/bin/env bash
# Runs every test: the native unit tests (plain, with AddressSanitizer and UndefinedBehavior-
# Sanitizer, with ThreadSanitizer) and the Windows tests of the real DLLs, 32-bit and 64-bit,
# under Wine.
# Installs what is missing first (as root). Exits non-zero if any suite failed, or if a process
# of its Wine sessions (Xvfb, Wine, the emulator) outlived them; Ctrl-C ends everything it
# started.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/lib/processes.sh
source tools/lib/processes.sh

bash tools/install-deps.sh

jobs=2
started=$(date +%s)
failed=()
# The build trees whose Wine sessions this run starts.
wine_trees=("$PWD/build/win32" "$PWD/build/win64")
ctest_pid=

step() { printf '\n=== %s\n' "$*"; }

# The processes of our Wine sessions still there: tools/wine-env.sh marks everything it starts,
# and Wine everything it starts in turn, with the tree in the environment (or a Wine prefix in
# it). Ends them by their ids, saying which they were; fails if there were any.
end_wine_leftovers() {
  local tree marks=()
  for tree in "${wine_trees[@]}"; do
    marks+=("MULCHVOICE_WINE_TREE=$tree" "WINEPREFIX=$tree/*")
  done
  end_leftovers "processes of the Wine sessions outlived the tests" "${marks[@]}"
}

stop_wine_sessions() {
  local tree
  for tree in "${wine_trees[@]}"; do
    [ -d "$tree/wine-env" ] || continue
    timeout 120 bash tools/wine-env.sh stop "$tree" >/dev/null 2>&1 ||
      echo "stopping the Wine session of $tree failed"
  done
}

# Ctrl-C (or the end of the caller): end the test run, its tests first (a Wine test then ends
# its session itself), then whatever of the Wine sessions is left.
interrupted() {
  trap - INT TERM HUP
  echo
  echo "=== interrupted: ending the tests and their Wine sessions"
  if [ -n "$ctest_pid" ]; then
    local pids
    mapfile -t pids < <(descendants "$ctest_pid")
    end_pids 30 "${pids[@]}"
  fi
  stop_wine_sessions
  end_wine_leftovers || true
  end_panel_leftovers || true
  exit 130
}
trap interrupted INT TERM HUP

build() {  # build <dir> <cmake options...>
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMULCHVOICE_TESTS=ON "$@" \
    >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

run_ctest() {  # run_ctest <dir> <label> [ctest options...]
  local dir=$1 label=$2 status=0; shift 2
  # In the background, so that a signal reaches the trap at once.
  (cd "$dir" && exec ctest -j"$jobs" --output-on-failure --timeout 900 "$@") &
  ctest_pid=$!
  wait "$ctest_pid" || status=$?
  ctest_pid=
  [ "$status" = 0 ] || failed+=("$label")
  # The one-line figures the reliability programs, the panel's tests and the live LV2 session
  # print, and every time-out and second try of the Wine watchdog, passed tests' included.
  grep -hE '^(threads|audio path|lv2 audio path|entry environment|wine [a-z ]+|live [A-Za-z-]+): |^wine-env: (TIMED OUT|running .* once more|FAILED)|^(values .*:|[0-9]+ pixels differ.*|level before the drag.*|silent 10 ms windows.*)$' \
    "$dir/Testing/Temporary/LastTest.log" 2>/dev/null || true
}

mkdir -p build

# The panel's tests in real hosts mark what they start; a test ended at its time limit may leave
# its display, JACK server or host behind.
end_panel_leftovers() {
  end_leftovers "processes of the panel's host tests outlived them" "MULCHVOICE_PANEL_TEST=*"
}

step "native build and tests"
build build/native
run_ctest build/native native
end_panel_leftovers || failed+=("left-over panel test processes")

step "native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
build build/asan -DMULCHVOICE_SANITIZE=address
run_ctest build/asan asan
end_panel_leftovers || failed+=("left-over panel test processes")

step "native thread tests with ThreadSanitizer"
# Without the LV2 plug-in: it starts no threads and shares nothing between them, and the two
# builds above test it.
build build/tsan -DMULCHVOICE_SANITIZE=thread -DMULCHVOICE_LV2=OFF
run_ctest build/tsan tsan

step "fuzzing the effect through its record (clang, libFuzzer, 60 s)"
bash tools/fuzz.sh 60 build/fuzz || failed+=(fuzz)

step "32-bit Windows build and tests under Wine"
# The editor's screenshots are held to the LV2 panel's captures that the native tests left.
build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake -DMULCHVOICE_NATIVE_BUILD="$PWD/build/native"
echo "Wine runs $(bash tools/wine-env.sh mode build/win32) here"
run_ctest build/win32 wine
# The fixture's cleanup has ended the sessions; nothing of them may be left.
end_wine_leftovers || failed+=("left-over Wine processes")

step "64-bit Windows build and tests under Wine"
# The same tests against the 64-bit DLL, which must also leave the 32-bit DLL's samples.
build build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake \
  -DMULCHVOICE_OTHER_WIDTH_BUILD="$PWD/build/win32"
run_ctest build/win64 wine64
end_wine_leftovers || failed+=("left-over Wine processes")

elapsed=$(( $(date +%s) - started ))
echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]} (after ${elapsed}s)"
  exit 1
fi
echo "All test suites passed in ${elapsed}s."
