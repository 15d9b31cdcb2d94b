# shellcheck shell=bash disable=SC2034  # the variables set here are for the callers
# Processes for the test and benchmark scripts (sourced, bash 5): waits with a deadline, and
# processes started with a mark, found by it and ended by their ids, never by a program's name,
# so that nobody else's programs are touched. Nothing here is Wine's: any script that runs a
# display, servers and their clients with deadlines, and must leave nothing behind, can use it.
#
# A mark is a variable NAME=VALUE in a process's environment. Every process hands its
# environment on to those it starts, so a mark finds a process and all it started, however they
# detach. Marks given to marked_pids, end_marked and end_leftovers are NAME=VALUE, an exact
# value, or NAME=PREFIX*, every value that starts with PREFIX.
#
# The functions report through the variables they name (started_pid, ended_pids, watched_*),
# never through a subshell, so that what they start stays a child of the calling shell.

# Runs COMMAND, in this shell, until it succeeds: every 0.1 s unless --every says otherwise.
# Fails once SECONDS (whole seconds) have passed without. Runs at least once. The clock is
# EPOCHREALTIME in microseconds, whatever the locale's decimal separator.
wait_until() {  # wait_until [--every SECONDS] SECONDS COMMAND [ARGUMENTS...]
  local every=0.1 deadline
  if [ "$1" = --every ]; then every=$2; shift 2; fi
  deadline=$(( ${EPOCHREALTIME//[!0-9]/} + $1 * 1000000 ))
  shift
  until "$@"; do
    [ "${EPOCHREALTIME//[!0-9]/}" -lt "$deadline" ] || return 1
    sleep "$every"
  done
}

# The process is there and has not ended: a zombie has, only its exit status is not collected.
alive() {  # alive PID
  local state
  state=$(grep -m 1 '^State:' "/proc/$1/status" 2>/dev/null) || return 1
  [[ $state != State:[[:space:]]Z* ]]
}

none_alive() {  # none_alive PID...
  local pid
  for pid in "$@"; do
    ! alive "$pid" || return 1
  done
}

# Waits until all these processes have ended; fails if some are still there after SECONDS.
await_end() {  # await_end SECONDS PID...
  wait_until "$1" none_alive "${@:2}"
}

# Asks the processes to end (SIGTERM), so that they may tidy up, and kills (SIGKILL) those still
# there after SECONDS.
end_pids() {  # end_pids SECONDS PID...
  local seconds=$1
  shift
  [ $# -gt 0 ] || return 0
  kill -TERM "$@" 2>/dev/null || true
  await_end "$seconds" "$@" || kill -KILL "$@" 2>/dev/null || true
}

# A process and all its descendants, deepest first.
descendants() {  # descendants PID
  local child
  for child in $(grep -lsE "^PPid:[[:space:]]+$1\$" /proc/[0-9]*/status); do
    child=${child#/proc/}
    descendants "${child%/status}"
  done
  echo "$1"
}

# Starts COMMAND in the background with the mark NAME=VALUE in its environment (besides what
# this shell exports), its input /dev/null and its output appended to LOG; further redirections
# of the call (e.g. 3>file) reach it too. Sets `started_pid` to COMMAND's own id: `env` executes
# it, and so does `setsid` where COMMAND starts with one. Its end is reported to nobody: the
# caller ends it on purpose, and finds it ended with alive.
start_marked() {  # start_marked NAME=VALUE LOG COMMAND [ARGUMENTS...]
  local mark=$1 log=$2
  shift 2
  env "$mark" "$@" </dev/null >>"$log" 2>&1 &
  started_pid=$!
  disown "$started_pid"
}

# A mark as an anchored extended regular expression for grep -x.
mark_pattern() {  # mark_pattern NAME=VALUE | NAME=PREFIX*
  local value=${1#*=} any=
  if [[ $value == *'*' ]]; then value=${value%'*'}; any='.*'; fi
  printf '%s=%s%s\n' "${1%%=*}" "$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$value")" "$any"
}

# The live processes carrying one of the marks, one id a line; this shell and its ancestors are
# left out, even where they carry the mark (a nested call). Read through each thread: a process
# whose main thread has ended while others run (Wine's do) shows no environment of its own; a
# zombie shows none. grep runs without the marks' variables, so as not to find itself.
marked_pids() {  # marked_pids MARK...
  local mark patterns=() unset=() own=" " listed=" " pid file
  for mark in "$@"; do
    patterns+=(-e "$(mark_pattern "$mark")")
    unset+=(-u "${mark%%=*}")
  done
  pid=$BASHPID
  while [ -n "$pid" ] && [ "$pid" -gt 1 ]; do
    own+="$pid "
    pid=$(sed -n 's/^PPid:[[:space:]]*//p' "/proc/$pid/status" 2>/dev/null) || break
  done
  for file in $(env "${unset[@]}" grep -lsxzE "${patterns[@]}" /proc/[0-9]*/task/[0-9]*/environ); do
    pid=${file#/proc/}
    pid=${pid%%/*}
    case $own$listed in *" $pid "*) continue ;; esac
    listed+="$pid "
    echo "$pid"
  done
}

# One round of end_marked: kills what carries the marks; succeeds when nothing did.
kill_marked_round() {  # kill_marked_round MARK...
  local pids pid
  pids=$(marked_pids "$@")
  [ -n "$pids" ] || return 0
  for pid in $pids; do
    kill -KILL "$pid" 2>/dev/null || true
    case " $ended_pids " in *" $pid "*) ;; *) ended_pids+="${ended_pids:+ }$pid" ;; esac
  done
  return 1
}

# Kills (SIGKILL) the processes carrying the marks, again and again until none is left (one may
# be starting another meanwhile). Sets `ended_pids` to the ids it ended, on one line. Fails if
# some are still there after SECONDS.
end_marked() {  # end_marked SECONDS MARK...
  local seconds=$1
  shift
  ended_pids=
  wait_until "$seconds" kill_marked_round "$@"
}

# The check that nothing is left: processes still carrying the marks are shown, after WHAT (the
# report's words), and ended. Fails if there were any.
end_leftovers() {  # end_leftovers WHAT MARK...
  local what=$1 pids
  shift
  pids=$(marked_pids "$@" | sort -n)
  [ -n "$pids" ] || return 0
  echo "LEFT OVER: $what; ending them:"
  ps -o pid,ppid,etime,args -p "${pids//$'\n'/,}" || true
  end_marked 5 "$@" || echo "LEFT OVER: these would not end: $(marked_pids "$@" | tr '\n' ' ')"
  return 1
}

# Runs COMMAND in the background and waits for it at most SECONDS. Sets `watched_status` to its
# exit code, or to 124 (and `watched_timed_out` to 1) when the time ran out first, and
# `watched_pid` to its id. A command that timed out is left running: the caller ends it with
# all it started, by their mark.
run_watched() {  # run_watched SECONDS COMMAND [ARGUMENTS...]
  local seconds=$1 sleeper finished
  shift
  watched_timed_out=0
  # In a subshell that outlives it, so that a command ended by a signal is reported by its exit
  # code alone, not by a job notice of this shell. The subshell's own messages are discarded;
  # the command writes to the standard error through a copy. A background command's input is
  # /dev/null unless given: keep this shell's.
  ( exec 3>&2 2>/dev/null; "$@" 2>&3 3>&-; exit $? ) <&0 &
  watched_pid=$!
  sleep "$seconds" &
  sleeper=$!
  watched_status=0
  wait -n -p finished "$watched_pid" "$sleeper" || watched_status=$?
  if [ "${finished:-}" = "$sleeper" ]; then
    watched_status=124
    watched_timed_out=1
  else
    kill "$sleeper" 2>/dev/null || true
    wait "$sleeper" 2>/dev/null || true
  fi
}
