#!/usr/bin/env bash
# Runs the Windows programs of one build tree (32-bit or 64-bit) under Wine, each in a Wine
# session of its own, watched: a program still running at its time limit is ended with everything
# it started.
#
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
# the environment on to every process it starts, so these find a tree's or a run's processes
# and only those (never other trees' or users' Wine). State lives in <build-dir>/wine-env:
# display, Xvfb's process id, the runs, logs and, where needed, the emulation shim below.
# Every wait is bounded.
#
# 64-bit code: a tree built with the 64-bit cross compiler gets a 64-bit prefix, run by Debian's
# wine64, which every x86-64 kernel runs directly.
#
# 32-bit code: Debian's wine32 runs 32-bit programs directly where the kernel executes 32-bit
# code. Where it does not (some virtual machines have no 32-bit user mode), the same wine32 runs
# under qemu-i386 (version 8 or later; tools/install-deps.sh installs it).
# MULCHVOICE_WINE_EMULATE=1 takes that path on any machine. Wine starts its server and every
# further process by executing files beside its loader, so the shim is a copy of the loader in a
# directory of its own, beside two scripts: `wine-preloader`, which Wine executes to start each
# process and which hands the loader to qemu, and `wineserver`.
set -euo pipefail

readonly WINE_BIN_DIR=/usr/lib/wine
readonly WINE_LIB_DIR=/usr/lib/i386-linux-gnu
readonly WINE_DATA_DIR=/usr/share/wine

die() { echo "wine-env: $*" >&2; exit 1; }
say() { echo "wine-env: $*" >&2; }

usage() {
  sed -n '5,14p' "$0" >&2
  exit 2
}

[ $# -ge 2 ] || usage
command=$1
build_dir=$(cd "$2" 2>/dev/null && pwd) || die "no such build directory: $2"
shift 2

state_dir=$build_dir/wine-env
template=$build_dir/wineprefix
runs_dir=$state_dir/runs
shim_dir=$state_dir/shim

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

# Sets the arrays `wine` and `wineserver` to the commands that run the loader and the server,
# and `emulated` to 1 under qemu. The server command execs the server itself (no fork), so the
# process id of a server started in the background is the server's.
choose_launcher() {
  if [ "$WINEARCH" = win64 ]; then
    wine=("$WINE_BIN_DIR/wine64")
    wineserver=("$WINE_BIN_DIR/wineserver64")
    emulated=0
  elif native_32bit; then
    wine=(wine)
    wineserver=("$WINE_BIN_DIR/wineserver32")
    emulated=0
  elif qemu_usable; then
    # Made afresh by every start, so that it follows updates of the installed Wine.
    if [ "$command" = start ] || [ ! -x "$shim_dir/lib/wine/wineserver" ]; then make_shim; fi
    wine=(qemu-i386 "$shim_dir/lib/wine/wine")
    wineserver=("$shim_dir/lib/wine/wineserver")
    emulated=1
  else
    die "this kernel runs no 32-bit programs and qemu-i386 (8 or later) is missing: run tools/install-deps.sh as root"
  fi
}

# --- Processes ------------------------------------------------------------------------------

# This shell and its ancestors: never ended, even where they carry the marks (a nested call).
own_line() {
  local pid=$BASHPID
  own=" "
  while [ -n "$pid" ] && [ "$pid" -gt 1 ]; do
    own+="$pid "
    pid=$(sed -n 's/^PPid:[[:space:]]*//p' "/proc/$pid/status" 2>/dev/null) || break
  done
}

# Prints the live processes whose environment holds exactly NAME=VALUE, one id a line. Read
# through each thread: a Wine process whose main thread has ended while others run shows no
# environment of its own. grep runs with the marks removed from its own environment; zombies
# have none.
marked() {  # marked NAME=VALUE
  local own file pid listed=" "
  own_line
  for file in $(env -u MULCHVOICE_WINE_TREE -u MULCHVOICE_WINE_RUN \
                  grep -lsxzF -e "$1" /proc/[0-9]*/task/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/}
    pid=${pid%%/*}
    case $own$listed in *" $pid "*) continue ;; esac
    listed+="$pid "
    echo "$pid"
  done
}

# Ends the processes marked NAME=VALUE with SIGKILL, again and again until none is left (a
# process may be starting another meanwhile), and prints the ids it ended, on one line.
# Fails if some are still there after ten seconds.
kill_marked() {  # kill_marked NAME=VALUE
  local pids ended=" " pid i
  for i in $(seq 100); do
    pids=$(marked "$1")
    if [ -z "$pids" ]; then
      echo "${ended# }"
      return 0
    fi
    for pid in $pids; do
      kill -KILL "$pid" 2>/dev/null || true
      case $ended in *" $pid "*) ;; *) ended+="$pid " ;; esac
    done
    sleep 0.1
  done
  echo "${ended# }"
  return 1
}

# Waits (bounded: ten seconds unless given) until a process has ended. A child of this shell is
# collected by the shell as it ends.
gone() {  # gone PID [SECONDS]
  local i
  for i in $(seq $(( ${2:-10} * 10 ))); do
    kill -0 "$1" 2>/dev/null || return 0
    [ "$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null)" != Z ] || return 0
    sleep 0.1
  done
  return 1
}

# Runs a command in the background and waits for it at most SECONDS: sets `status` to its exit
# code, or to 124 (and `timed_out` to 1) when the time ran out first; `child` is its id. The
# command is left running then: the caller ends it with everything it started.
watch() {  # watch SECONDS COMMAND...
  local seconds=$1 sleeper finished
  shift
  timed_out=0
  # In a subshell that outlives it, so that a command ended by a signal is reported by its exit
  # code alone, not by a job notice of this shell. The subshell's own messages are discarded;
  # the command writes to the standard error through a copy. A background command's input is
  # /dev/null unless given: keep this script's.
  ( exec 3>&2 2>/dev/null; "$@" 2>&3 3>&-; exit $? ) <&0 &
  child=$!
  sleep "$seconds" &
  sleeper=$!
  status=0
  wait -n -p finished "$child" "$sleeper" || status=$?
  if [ "${finished:-}" = "$sleeper" ]; then
    status=124
    timed_out=1
  else
    kill "$sleeper" 2>/dev/null || true
    wait "$sleeper" 2>/dev/null || true
  fi
}

# --- Display --------------------------------------------------------------------------------

# A display lives in a directory of its own: Xvfb's process id in xvfb.pid, its name in display.
xvfb_running() {  # xvfb_running DIR
  local pid
  [ -f "$1/xvfb.pid" ] || return 1
  pid=$(cat "$1/xvfb.pid")
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null
}

# Asks Xvfb to end, which lets it remove its socket and lock file; kills it if it does not.
stop_xvfb() {  # stop_xvfb DIR
  local pid i
  if xvfb_running "$1"; then
    pid=$(cat "$1/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$1/xvfb.pid" "$1/display"
}

start_xvfb() {  # start_xvfb DIR
  local pid i
  rm -f "$1/display.tmp"
  # -displayfd: Xvfb picks a free display number itself and writes it once it accepts clients.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$1/display.tmp" </dev/null >"$1/xvfb.log" 2>&1 &
  pid=$!
  echo "$pid" >"$1/xvfb.pid"
  for i in $(seq 200); do
    if [ -s "$1/display.tmp" ]; then
      echo ":$(tr -d '[:space:]' <"$1/display.tmp")" >"$1/display"
      rm -f "$1/display.tmp"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  stop_xvfb "$1"
  die "Xvfb did not start (see $1/xvfb.log)"
}

session_display() {
  [ -f "$state_dir/display" ] && xvfb_running "$state_dir" ||
    die "no session running for $build_dir: run tools/wine-env.sh start $build_dir first"
  cat "$state_dir/display"
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

# Starts the Wine server of a session in the background, in the foreground of its own, so that
# its id is known: sets `server`. It serves until it is ended, however long no program runs.
start_server() {  # start_server LOG
  "${wineserver[@]}" -f -p </dev/null >>"$1" 2>&1 &
  server=$!
  # Its end is no news to report: it is ended on purpose.
  disown "$server"
  # Programs started before it listens would start a server of their own. (Where the socket
  # goes is known once the server has recorded it in the prefix.)
  for _ in $(seq 600); do
    [ ! -S "$(server_dir "$WINEPREFIX")/socket" ] || return 0
    kill -0 "$server" 2>/dev/null || return 0
    sleep 0.05
  done
}

# Ends every process of the session in RUN-DIR, its server included, and removes the session.
# Prints what it ended; fails if a process would not end.
end_session() {  # end_session RUN-DIR PREFIX
  local ended ok=0
  ended=$(kill_marked "MULCHVOICE_WINE_RUN=$1") || ok=1
  [ -z "${server:-}" ] || gone "$server" || ok=1
  [ -z "${child:-}" ] || gone "$child" || ok=1
  [ "$ok" = 0 ] || say "processes of $1 would not end: $(marked "MULCHVOICE_WINE_RUN=$1" | tr '\n' ' ')"
  [ ! -d "$2" ] || rm -rf "$(server_dir "$2")"
  stop_xvfb "$1"
  rm -rf "$1"
  ended_pids=$ended
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
  # Ctrl-C or the end of the caller: the program may tidy up (mvrender removes its unfinished
  # file), briefly; then the session ends all the same.
  trap 'interrupted "$run" "$prefix" 130' INT
  trap 'interrupted "$run" "$prefix" 143' TERM HUP
  cp -al "$template" "$prefix"
  # The server writes a registry file that has other links in place, which would write into
  # the template: the session gets copies of its own.
  cp --remove-destination "$template"/*.reg "$prefix"/
  # A display of its own, too: X has one keyboard focus and one active window per display,
  # and a session that took them from another's message box or editor made that one fail.
  # (Started unmarked, so that the session's end can ask it to tidy up rather than kill it.)
  start_xvfb "$run"
  DISPLAY=$(cat "$run/display")
  export DISPLAY WINEPREFIX=$prefix MULCHVOICE_WINE_RUN=$run
  start_server "$run/wineserver.log"
  echo "$server" >"$run/server.pid"
  watch "$seconds" boot_and_run "$@"
  trap - INT TERM HUP
  local result=$status was_timed_out=$timed_out
  if ! end_session "$run" "$prefix"; then
    result=1
  fi
  if [ "$was_timed_out" = 1 ]; then
    say "TIMED OUT: $name still ran after $seconds s; ended its processes, Wine server $server included: $ended_pids"
  fi
  status=$result
  timed_out=$was_timed_out
  unset WINEPREFIX MULCHVOICE_WINE_RUN
  server='' child=''
}

interrupted() {  # interrupted RUN-DIR PREFIX EXIT-CODE
  trap - INT TERM HUP
  local pid
  if [ -n "${child:-}" ]; then
    for pid in $(marked "MULCHVOICE_WINE_RUN=$1"); do
      [ "$pid" = "${server:-}" ] || kill -INT "$pid" 2>/dev/null || true
    done
    gone "$child" $(( emulated ? 10 : 3 )) || true
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
  local tries=1
  if [ "$emulated" = 1 ]; then
    seconds=${emulated_seconds:-$seconds}
    tries=2
  fi
  local try
  for try in $(seq "$tries"); do
    run_once "$seconds" "$@"
    [ "$timed_out" = 1 ] && [ "$try" -lt "$tries" ] || break
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
    watch "$seconds" bash -c '
      set -e
      "$@" wineboot --init
      # Windows are not handed to a window manager (there is none on Xvfb, and Wine would wait
      # for one on every hide), and a crash ends the program instead of opening the debugger.
      "$@" reg add "HKCU\Software\Wine\X11 Driver" /v Managed /t REG_SZ /d N /f
      "$@" reg add "HKCU\Software\Wine\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
    ' bash "${wine[@]}" >"$log" 2>&1 </dev/null
    if [ "$status" = 0 ]; then
      timeout 120 "${wineserver[@]}" -k >>"$log" 2>&1 || true
      gone "$server" 120 || true
    fi
    end_session "$state_dir/template" "$template" >/dev/null || true
    unset WINEPREFIX MULCHVOICE_WINE_RUN
    server='' child=''
    if [ "$status" = 0 ] && grep -q '"Managed"="N"' "$template/user.reg" 2>/dev/null; then
      touch "$template/.mulchvoice-ready"
      return 0
    fi
    if [ "$timed_out" = 1 ]; then
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
  [ -f "$state_dir/xvfb.pid" ] && xvfb=$(cat "$state_dir/xvfb.pid")
  for run in "$runs_dir"/*/; do
    [ -d "$run" ] || continue
    kill_marked "MULCHVOICE_WINE_RUN=${run%/}" >/dev/null || true
    stop_xvfb "${run%/}"
    [ ! -d "$run/prefix" ] || rm -rf "$(server_dir "$run/prefix")"
    rm -rf "$run"
  done
  for pid in $(marked "MULCHVOICE_WINE_TREE=$build_dir"); do
    [ "$pid" = "$xvfb" ] || kill -KILL "$pid" 2>/dev/null || true
  done
}

cmd_start() {
  mkdir -p "$state_dir"
  choose_launcher
  end_tree_processes
  stop_xvfb "$state_dir"
  start_xvfb "$state_dir"
  export DISPLAY
  DISPLAY=$(cat "$state_dir/display")
  [ -f "$template/.mulchvoice-ready" ] || create_template
  echo "wine-env: display $DISPLAY, template prefix $template$([ "$emulated" = 0 ] || echo ", Wine under qemu-i386")"
}

cmd_stop() {
  end_tree_processes
  stop_xvfb "$state_dir"
  # Anything that was starting meanwhile.
  kill_marked "MULCHVOICE_WINE_TREE=$build_dir" >/dev/null ||
    die "processes of $build_dir would not end: $(marked "MULCHVOICE_WINE_TREE=$build_dir" | tr '\n' ' ')"
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
