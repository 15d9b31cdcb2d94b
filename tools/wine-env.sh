#!/usr/bin/env bash
# A private Wine session for running the 32-bit Windows programs of one build tree: a virtual
# display (Xvfb), a Wine prefix in the build tree and one persistent Wine server, shared by all
# programs run in that tree (CTest runs them in parallel).
#
#   tools/wine-env.sh start <build-dir>          start Xvfb and the Wine server; create the
#                                                prefix <build-dir>/wineprefix on first use
#   tools/wine-env.sh run <build-dir> [--timeout SECONDS] <program.exe> [arguments...]
#                                                run a program in the session; exits with its code
#   tools/wine-env.sh stop <build-dir>           stop every Wine process of the prefix, then Xvfb
#   tools/wine-env.sh env <build-dir>            print the session's variables as shell exports
#
# State lives in <build-dir>/wine-env: display number, Xvfb's process id, logs and, where needed,
# the emulation shim below. Every wait is bounded.
#
# 32-bit code: Debian's wine32 runs 32-bit programs directly where the kernel executes 32-bit
# code. Where it does not (some virtual machines have no 32-bit user mode), the same wine32 runs
# under qemu-i386 (version 8 or later; tools/install-deps.sh installs it);
# MULCHVOICE_WINE_EMULATE=1 takes that path on any machine. Wine starts its server
# and every further process by executing files beside its loader, so the shim is a copy of the
# loader in a directory of its own, beside two scripts: `wine-preloader`, which Wine executes to
# start each process and which hands the loader to qemu, and `wineserver`.
set -euo pipefail

readonly WINE_BIN_DIR=/usr/lib/wine
readonly WINE_LIB_DIR=/usr/lib/i386-linux-gnu
readonly WINE_DATA_DIR=/usr/share/wine

die() { echo "wine-env: $*" >&2; exit 1; }

usage() {
  sed -n '2,14p' "$0" >&2
  exit 2
}

[ $# -ge 2 ] || usage
command=$1
build_dir=$(cd "$2" 2>/dev/null && pwd) || die "no such build directory: $2"
shift 2

state_dir=$build_dir/wine-env
prefix=$build_dir/wineprefix
shim_dir=$state_dir/shim

export WINEPREFIX=$prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Can this kernel run 32-bit x86 programs? The i386 dynamic loader is installed with wine32.
native_32bit() {
  [ "${MULCHVOICE_WINE_EMULATE:-0}" != 1 ] && /lib/ld-linux.so.2 --help >/dev/null 2>&1
}

qemu_usable() {
  command -v qemu-i386 >/dev/null 2>&1 || return 1
  local major
  major=$(qemu-i386 --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  [ -n "$major" ] && [ "$major" -ge 8 ]
}

make_shim() {
  mkdir -p "$shim_dir/lib/wine" "$shim_dir/share"
  # Wine finds its libraries and data relative to the loader, as in /usr.
  ln -sfn "$WINE_LIB_DIR" "$shim_dir/lib/i386-linux-gnu"
  ln -sfn "$WINE_DATA_DIR" "$shim_dir/share/wine"
  cp -f "$WINE_BIN_DIR/wine" "$shim_dir/lib/wine/wine.new"
  mv -f "$shim_dir/lib/wine/wine.new" "$shim_dir/lib/wine/wine"
  printf '#!/bin/sh\nexec qemu-i386 "$@"\n' >"$shim_dir/lib/wine/wine-preloader"
  printf '#!/bin/sh\nexec qemu-i386 %s "$@"\n' "$WINE_BIN_DIR/wineserver32" \
    >"$shim_dir/lib/wine/wineserver"
  chmod +x "$shim_dir/lib/wine/wine-preloader" "$shim_dir/lib/wine/wineserver"
}

# Sets the arrays `wine` and `wineserver` to the commands that run the loader and the server.
choose_launcher() {
  if native_32bit; then
    wine=(wine)
    wineserver=(wineserver)
  elif qemu_usable; then
    # Made afresh by every start, so that it follows updates of the installed Wine.
    if [ "$command" = start ] || [ ! -x "$shim_dir/lib/wine/wineserver" ]; then make_shim; fi
    wine=(qemu-i386 "$shim_dir/lib/wine/wine")
    wineserver=("$shim_dir/lib/wine/wineserver")
  else
    die "this kernel runs no 32-bit programs and qemu-i386 (8 or later) is missing: run tools/install-deps.sh as root"
  fi
}

xvfb_running() {
  local pid
  [ -f "$state_dir/xvfb.pid" ] || return 1
  pid=$(cat "$state_dir/xvfb.pid")
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null
}

stop_xvfb() {
  local pid i
  if xvfb_running; then
    pid=$(cat "$state_dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$state_dir/xvfb.pid" "$state_dir/display"
}

start_xvfb() {
  local pid i
  rm -f "$state_dir/display.tmp"
  # -displayfd: Xvfb picks a free display number itself and writes it once it accepts clients.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$state_dir/display.tmp" </dev/null >"$state_dir/xvfb.log" 2>&1 &
  pid=$!
  echo "$pid" >"$state_dir/xvfb.pid"
  for i in $(seq 200); do
    if [ -s "$state_dir/display.tmp" ]; then
      echo ":$(tr -d '[:space:]' <"$state_dir/display.tmp")" >"$state_dir/display"
      rm -f "$state_dir/display.tmp"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  stop_xvfb
  die "Xvfb did not start (see $state_dir/xvfb.log)"
}

# Stops the Wine server and every Wine process of the prefix.
stop_wine() {
  [ -d "$prefix" ] || return 0
  choose_launcher
  timeout 60 "${wineserver[@]}" -k >/dev/null 2>&1 || true
  # The server is gone once its socket directory's lock is free; wait for that, bounded.
  timeout 30 "${wineserver[@]}" -w >/dev/null 2>&1 || true
}

# The prefix is ready once its first boot finished and our settings are in; the marker says so.
create_prefix() {
  local log=$state_dir/wineboot.log
  rm -rf "$prefix"
  mkdir -p "$prefix"
  start_server
  if ! timeout 900 "${wine[@]}" wineboot --init >"$log" 2>&1 </dev/null; then
    die "creating the Wine prefix failed (see $log)"
  fi
  # Windows are not handed to a window manager (there is none on Xvfb, and Wine would wait for
  # one on every hide), and a crash ends the program instead of opening the debugger's dialog.
  timeout 300 "${wine[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >>"$log" 2>&1 </dev/null || die "setting up the Wine prefix failed (see $log)"
  timeout 300 "${wine[@]}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$log" 2>&1 </dev/null || die "setting up the Wine prefix failed (see $log)"
  touch "$prefix/.mulchvoice-ready"
}

# One persistent server for the session, detached from our output so that no test's output
# stays open behind it.
start_server() {
  setsid "${wineserver[@]}" -p </dev/null >>"$state_dir/wineserver.log" 2>&1 || true
}

cmd_start() {
  mkdir -p "$state_dir"
  choose_launcher
  stop_xvfb
  stop_wine
  start_xvfb
  export DISPLAY
  DISPLAY=$(cat "$state_dir/display")
  if [ ! -f "$prefix/.mulchvoice-ready" ]; then
    create_prefix
  else
    start_server
  fi
  # Boot the session's own processes (services, the desktop) now, with no test's output attached.
  timeout 600 "${wine[@]}" wineboot </dev/null >>"$state_dir/wineboot.log" 2>&1 ||
    die "starting the Wine session failed (see $state_dir/wineboot.log)"
  echo "wine-env: session on display $DISPLAY, prefix $prefix"
}

cmd_stop() {
  stop_wine
  stop_xvfb
  echo "wine-env: stopped"
}

session_display() {
  [ -f "$state_dir/display" ] && xvfb_running ||
    die "no session running for $build_dir: run tools/wine-env.sh start $build_dir first"
  cat "$state_dir/display"
}

cmd_run() {
  local seconds=600
  if [ "${1:-}" = "--timeout" ]; then
    [ $# -ge 2 ] || usage
    seconds=$2
    shift 2
  fi
  [ $# -ge 1 ] || usage
  choose_launcher
  DISPLAY=$(session_display)
  export DISPLAY
  exec timeout --kill-after=10 "$seconds" "${wine[@]}" "$@"
}

cmd_env() {
  choose_launcher
  echo "export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINEDEBUG=$WINEDEBUG WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
  echo "export DISPLAY='$(session_display)'"
  echo "# run a program with: ${wine[*]} program.exe"
}

case $command in
  start) cmd_start ;;
  stop) cmd_stop ;;
  run) cmd_run "$@" ;;
  env) cmd_env ;;
  *) usage ;;
esac
