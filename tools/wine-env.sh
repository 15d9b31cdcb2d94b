#!/usr/bin/env bash
# Runs the Windows programs of one build tree (32-bit or 64-bit) under Wine, each in a Wine
# session of its own, watched: a program still running at its time limit is ended with everything
# it started.
#
# Usage:
#   tools/wine-env.sh start <build-dir>      start the tree's virtual display (Xvfb); create the
#                                            template prefix <build-dir>/wineprefix on first use
#   tools/wine-env.sh run <build-dir> [--timeout S] [--emulated-timeout S] [--name NAME]
#                     [--must-fail] <program> [arguments...]
#                                            run a program (program.exe under Wine, anything else
#                                            as a Unix command in the session) in a Wine session of
#                                            its own; exits with its code, 124 if it timed out
#   tools/wine-env.sh stop <build-dir>       end every process of the tree, Xvfb last
#   tools/wine-env.sh env <build-dir>        print the template prefix's variables as exports
#   tools/wine-env.sh mode <build-dir>       print how Wine runs here: native or emulated
#
# A session per run: a hard-linked copy of the template prefix (but for the registry files,
# which the Wine server rewrites in place; a program's new files are its copy's own), its own
# Wine server and the processes Wine boots in it (services, the desktop...), and a virtual display
# of its own. Two programs of a tree running at the same time thus share nothing, and a hung one
# can be ended whole, Wine server included, without touching the other. A run costs the boot of
# the session: about 0.7 s of one core natively, 5 s under emulation. (The tree's own display
# serves the template prefix's creation and `env`.)
#
# The watchdog: `run` ends the program at --timeout seconds (default 600). Where Wine runs under
# emulation, --emulated-timeout applies instead (default: the same), and a run that timed out is
# run once more in a fresh session, since the emulator now and then stalls a Wine process for
# good. --must-fail inverts the result: the program must end with a non-zero code of its own
# (a time-out is still a failure). Every line the watchdog prints starts with "wine-env: ".
# A program that `run` starts may call `run` again: that runs in the same session, and the outer
# watchdog covers it.
#
# Processes: every process this script starts carries MULCHVOICE_WINE_TREE=<build-dir> in its
# environment, and every process of a run MULCHVOICE_WINE_RUN=<its state directory>; Wine hands
# the environment on to every process it starts, so these marks find a tree's or a run's
# processes and only those (never other trees' or users' Wine; tools/lib/processes.sh). State
# lives in <build-dir>/wine-env: display, Xvfb's process id, the runs, logs and, where needed,
# the emulation shim. Every wait has a deadline.
#
# 64-bit code: a tree built with the 64-bit cross compiler gets a 64-bit prefix, run by Debian's
# wine64, which every x86-64 kernel runs directly.
#
# 32-bit code: Debian's wine32 runs 32-bit programs directly where the kernel executes 32-bit
# code, and under qemu-i386 where it does not (tools/lib/wine-under-qemu.sh;
# tools/install-deps.sh installs qemu). MULCHVOICE_WINE_EMULATE=1 takes that path on any machine.
set -euo pipefail

lib=$(dirname "$0")/lib
# shellcheck source=tools/lib/processes.sh
source "$lib/processes.sh"
# shellcheck source=tools/lib/xvfb.sh
source "$lib/xvfb.sh"
# shellcheck source=tools/lib/wine-under-qemu.sh
source "$lib/wine-under-qemu.sh"
# shellcheck source=tools/lib/usage.sh
source "$lib/usage.sh"

die() { echo "wine-env: $*" >&2; exit 1; }
say() { echo "wine-env: $*" >&2; }
usage() { usage_text "$0" >&2; exit 2; }

[ $# -ge 2 ] || usage
command=$1
build_dir=$(cd "$2" 2>/dev/null && pwd) || die "no such build directory: $2"
shift 2

state_dir=$build_dir/wine-env
template=$build_dir/wineprefix
runs_dir=$state_dir/runs
shim_dir=$state_dir/shim
tree_mark=MULCHVOICE_WINE_TREE=$build_dir

# The tree's pointer width, as its configuration wrote it down (32-bit unless it says so).
if [ "$(cat "$build_dir/wine-arch.txt" 2>/dev/null)" = win64 ]; then
  export WINEARCH=win64
else
  export WINEARCH=win32
fi
export WINEDEBUG=-all
# No Mono or Gecko installers (nothing here needs .NET or HTML), no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export MULCHVOICE_WINE_TREE=$build_dir

# Sets the arrays `wine` and `wineserver` to the commands that run the loader and the server,
# and `emulated` to 1 under qemu. The server command execs the server itself (no fork), so the
# process id of a server started in the background is the server's.
choose_launcher() {
  if [ "$WINEARCH" = win64 ]; then
    wine=("$WINE_BIN_DIR/wine64")
    wineserver=("$WINE_BIN_DIR/wineserver64")
    emulated=0
  elif runs_32bit_natively; then
    wine=(wine)
    wineserver=("$WINE_BIN_DIR/wineserver32")
    emulated=0
  elif qemu_usable; then
    # Made afresh by every start, so that it follows updates of the installed Wine.
    if [ "$command" = start ] || [ ! -x "$shim_dir/lib/wine/wineserver" ]; then
      make_qemu_shim "$shim_dir"
    fi
    wine=(qemu-i386 "$shim_dir/lib/wine/wine")
    wineserver=("$shim_dir/lib/wine/wineserver")
    emulated=1
  else
    die "this kernel runs no 32-bit programs and qemu-i386 (8 or later) is missing: run tools/install-deps.sh as root"
  fi
}

session_display() {
  xvfb_display "$state_dir" ||
    die "no session running for $build_dir: run tools/wine-env.sh start $build_dir first"
}

# --- Sessions -------------------------------------------------------------------------------

# The directory where the server of a prefix keeps its socket: /tmp/.wine-<uid>, or where
# Debian's Wine records a directory of its own in the prefix, that one; then server-<device>-
# <inode> of the prefix, both in hex.
server_dir() {  # server_dir PREFIX
  local base=/tmp/.wine-$EUID device inode
  if [ -s "$1/wineserver" ]; then base=/tmp/$(<"$1/wineserver"); fi
  read -r device inode < <(stat -c '%D %i' "$1")
  printf '%s/server-%s-%x\n' "$base" "$device" "$inode"
}

server_listens() {  # server_listens: its socket is there, or it has ended
  [ -S "$(server_dir "$WINEPREFIX")/socket" ] || ! alive "$server"
}

# Starts the Wine server of a session in the background, in the foreground of its own, so that
# its id is known: sets `server`. It serves until it is ended, however long no program runs.
start_server() {  # start_server LOG
  start_marked "$tree_mark" "$1" "${wineserver[@]}" -f -p
  server=$started_pid
  # Programs started before it listens would start a server of their own. (Where the socket
  # goes is known once the server has recorded it in the prefix.)
  wait_until --every 0.05 30 server_listens || true
}

# Ends every process of the session in RUN-DIR, its server included, and removes the session.
# Sets `ended_pids` to what it ended; fails if a process would not end.
end_session() {  # end_session RUN-DIR PREFIX
  local ok=0 run_mark=MULCHVOICE_WINE_RUN=$1
  end_marked 10 "$run_mark" || ok=1
  [ -z "${server:-}" ] || await_end 10 "$server" || ok=1
  [ -z "${watched_pid:-}" ] || await_end 10 "$watched_pid" || ok=1
  [ "$ok" = 0 ] || say "processes of $1 would not end: $(marked_pids "$run_mark" | tr '\n' ' ')"
  [ ! -d "$2" ] || rm -rf "$(server_dir "$2")"
  stop_xvfb "$1"
  rm -rf "$1"
  return "$ok"
}

# Boots the session's own processes (services, the desktop...), with their output in the tree's
# boot log rather than the program's (a crash there is no fault of the program), then runs the
# program.
boot_and_run() {  # boot_and_run PROGRAM [ARGUMENTS...]
  "${wine[@]}" wineboot </dev/null >>"$state_dir/boot.log" 2>&1 ||
    say "booting the Wine session failed (see $state_dir/boot.log)"
  case $1 in
    *.exe|*.EXE) "${wine[@]}" "$@" ;;
    *) "$@" ;;
  esac
}

# One try of a program in a fresh session: sets `status` and `timed_out`.
run_once() {  # run_once SECONDS PROGRAM [ARGUMENTS...]
  local seconds=$1 run prefix
  shift
  mkdir -p "$runs_dir"
  run=$(mktemp -d "$runs_dir/$name.XXXXXX")
  prefix=$run/prefix
  # Ctrl-C or the end of the caller: the program may tidy up (mvdllhost removes an unfinished
  # picture), briefly; then the session ends all the same.
  trap 'interrupted "$run" "$prefix" 130' INT
  trap 'interrupted "$run" "$prefix" 143' TERM HUP
  cp -al "$template" "$prefix"
  # The server writes a registry file that has other links in place, which would write into
  # the template: the session gets copies of its own.
  cp --remove-destination "$template"/*.reg "$prefix"/
  # A display of its own, too: X has one keyboard focus and one active window per display,
  # and a session that took them from another's message box or editor made that one fail.
  # (Marked by the tree only, so that the session's end can ask it to tidy up rather than kill
  # it.)
  start_xvfb "$run" "$tree_mark" || die "Xvfb did not start (see $run/xvfb.log)"
  DISPLAY=$(<"$run/display")
  export DISPLAY WINEPREFIX=$prefix MULCHVOICE_WINE_RUN=$run
  start_server "$run/wineserver.log"
  echo "$server" >"$run/server.pid"
  run_watched "$seconds" boot_and_run "$@"
  trap - INT TERM HUP
  status=$watched_status
  timed_out=$watched_timed_out
  end_session "$run" "$prefix" || status=1
  if [ "$timed_out" = 1 ]; then
    say "TIMED OUT: $name still ran after $seconds s; ended its processes, Wine server $server included: $ended_pids"
  fi
  unset WINEPREFIX MULCHVOICE_WINE_RUN
  server='' watched_pid=''
}

interrupted() {  # interrupted RUN-DIR PREFIX EXIT-CODE
  trap - INT TERM HUP
  local pid
  if [ -n "${watched_pid:-}" ]; then
    for pid in $(marked_pids "MULCHVOICE_WINE_RUN=$1"); do
      [ "$pid" = "${server:-}" ] || kill -INT "$pid" 2>/dev/null || true
    done
    await_end $(( emulated ? 10 : 3 )) "$watched_pid" || true
  fi
  end_session "$1" "$2" || true
  say "$name interrupted; its session ended"
  exit "$3"
}

cmd_run() {
  local seconds=600 emulated_seconds='' must_fail=0
  name=
  while [ $# -gt 0 ]; do
    case $1 in
      --timeout) [ $# -ge 2 ] || usage; seconds=$2; shift 2 ;;
      --emulated-timeout) [ $# -ge 2 ] || usage; emulated_seconds=$2; shift 2 ;;
      --name) [ $# -ge 2 ] || usage; name=$2; shift 2 ;;
      --must-fail) must_fail=1; shift ;;
      *) break ;;
    esac
  done
  [ $# -ge 1 ] || usage
  choose_launcher
  session_display >/dev/null

  # Called by a program of a run of this tree: the same session and display, watched from
  # outside.
  if [ -n "${MULCHVOICE_WINE_RUN:-}" ] && [ "${MULCHVOICE_WINE_RUN%/*}" = "$runs_dir" ] &&
     [ -d "${WINEPREFIX:-}" ]; then
    case $1 in
      *.exe|*.EXE) exec timeout --kill-after=10 "$seconds" "${wine[@]}" "$@" ;;
      *) exec timeout --kill-after=10 "$seconds" "$@" ;;
    esac
  fi

  [ -f "$template/.mulchvoice-ready" ] ||
    die "no Wine prefix in $build_dir: run tools/wine-env.sh start $build_dir first"
  [ -n "$name" ] || name=$(basename "$1")
  name=${name//\//_}
  local tries=1 try
  if [ "$emulated" = 1 ]; then
    seconds=${emulated_seconds:-$seconds}
    tries=2
  fi
  for try in $(seq "$tries"); do
    run_once "$seconds" "$@"
    if [ "$timed_out" = 0 ] || [ "$try" -ge "$tries" ]; then break; fi
    say "running $name once more (try $((try + 1)) of $tries): under the emulated Wine a time-out may be a stalled emulator"
  done
  if [ "$timed_out" = 1 ]; then
    say "FAILED: $name timed out ($seconds s$([ "$tries" = 1 ] || echo ", $tries tries"))"
    exit 124
  fi
  if [ "$must_fail" = 1 ]; then
    [ "$status" != 0 ] || { say "FAILED: $name succeeded where it must fail"; exit 1; }
    exit 0
  fi
  exit "$status"
}

# --- The template prefix --------------------------------------------------------------------

# Creates the template prefix in a session of its own, once more under emulation if that timed
# out. The server is asked to end (it saves the registry then) before its session is ended.
create_template() {
  local log=$state_dir/wineboot.log seconds=300 tries=1 try
  # (It takes 10 s natively, 30 s under emulation.)
  if [ "$emulated" = 1 ]; then tries=2; fi
  name=template
  for try in $(seq "$tries"); do
    rm -rf "$template" "$state_dir/template"
    mkdir -p "$template" "$state_dir/template"
    export WINEPREFIX=$template MULCHVOICE_WINE_RUN=$state_dir/template
    start_server "$state_dir/wineserver.log"
    run_watched "$seconds" bash -c '
      set -e
      "$@" wineboot --init
      # Windows are not handed to a window manager (there is none on Xvfb, and Wine would wait
      # for one on every hide), and a crash ends the program instead of opening the debugger.
      "$@" reg add "HKCU\Software\Wine\X11 Driver" /v Managed /t REG_SZ /d N /f
      "$@" reg add "HKCU\Software\Wine\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
    ' bash "${wine[@]}" >"$log" 2>&1 </dev/null
    if [ "$watched_status" = 0 ]; then
      timeout 120 "${wineserver[@]}" -k >>"$log" 2>&1 || true
      await_end 120 "$server" || true
    fi
    end_session "$state_dir/template" "$template" || true
    unset WINEPREFIX MULCHVOICE_WINE_RUN
    server='' watched_pid=''
    if [ "$watched_status" = 0 ] && grep -q '"Managed"="N"' "$template/user.reg" 2>/dev/null; then
      touch "$template/.mulchvoice-ready"
      return 0
    fi
    if [ "$watched_timed_out" = 1 ]; then
      say "TIMED OUT: creating the Wine prefix took more than $seconds s"
      [ "$try" -lt "$tries" ] && say "creating it once more (try $((try + 1)) of $tries)"
    else
      break
    fi
  done
  rm -rf "$template"
  die "creating the Wine prefix failed (see $log)"
}

# --- Commands -------------------------------------------------------------------------------

# Ends every process of the tree but Xvfb, and forgets every run.
end_tree_processes() {
  local xvfb='' pid run
  [ -f "$state_dir/xvfb.pid" ] && xvfb=$(<"$state_dir/xvfb.pid")
  for run in "$runs_dir"/*/; do
    [ ! -d "$run" ] || end_session "${run%/}" "${run}prefix" || true
  done
  for pid in $(marked_pids "$tree_mark"); do
    [ "$pid" = "$xvfb" ] || kill -KILL "$pid" 2>/dev/null || true
  done
}

cmd_start() {
  mkdir -p "$state_dir"
  choose_launcher
  end_tree_processes
  stop_xvfb "$state_dir"
  start_xvfb "$state_dir" "$tree_mark" || die "Xvfb did not start (see $state_dir/xvfb.log)"
  export DISPLAY
  DISPLAY=$(<"$state_dir/display")
  [ -f "$template/.mulchvoice-ready" ] || create_template
  echo "wine-env: display $DISPLAY, template prefix $template$([ "$emulated" = 0 ] || echo ", Wine under qemu-i386")"
}

cmd_stop() {
  end_tree_processes
  stop_xvfb "$state_dir"
  # Anything that was starting meanwhile.
  end_marked 10 "$tree_mark" ||
    die "processes of $build_dir would not end: $(marked_pids "$tree_mark" | tr '\n' ' ')"
  echo "wine-env: stopped"
}

cmd_env() {
  choose_launcher
  echo "# Programs run with these share the template prefix that every run copies."
  echo "export WINEPREFIX='$template' WINEARCH=$WINEARCH WINEDEBUG=$WINEDEBUG WINEDLLOVERRIDES='$WINEDLLOVERRIDES' MULCHVOICE_WINE_TREE='$build_dir'"
  echo "export DISPLAY='$(session_display)'"
  echo "# run a program with: ${wine[*]} program.exe"
}

cmd_mode() {
  choose_launcher
  if [ "$emulated" = 1 ]; then echo emulated; else echo native; fi
}

case $command in
  start) cmd_start ;;
  mode) cmd_mode ;;
  stop) cmd_stop ;;
  run) cmd_run "$@" ;;
  env) cmd_env ;;
  *) usage ;;
esac
