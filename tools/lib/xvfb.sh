# shellcheck shell=bash
# A virtual X display of one's own (Xvfb), kept in a directory: Xvfb's process id in
# DIR/xvfb.pid, the display's name (":N") in DIR/display, Xvfb's output in DIR/xvfb.log. Xvfb
# picks a free display number itself, so displays started side by side never collide.
# Sourced, bash 5.

# shellcheck source=tools/lib/processes.sh
source "${BASH_SOURCE[0]%/*}/processes.sh"

# The display of DIR runs: its process is there and is an Xvfb (not a later one of the same id).
xvfb_running() {  # xvfb_running DIR
  local pid
  [ -f "$1/xvfb.pid" ] || return 1
  pid=$(<"$1/xvfb.pid")
  [ -n "$pid" ] && alive "$pid" && grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null
}

# Prints the display's name if it runs; fails if not.
xvfb_display() {  # xvfb_display DIR
  [ -s "$1/display" ] && xvfb_running "$1" && cat "$1/display"
}

xvfb_settled() {  # xvfb_settled DIR PID: the display number is written, or Xvfb has ended
  [ -s "$1/display.tmp" ] || ! alive "$2"
}

# Starts the display of DIR, marked NAME=VALUE, and waits (20 s at most) until it accepts
# clients. In a session of its own: a Ctrl-C at the terminal is for the script, which ends the
# display when it has tidied up. Fails, with nothing left running, if it does not start.
start_xvfb() {  # start_xvfb DIR NAME=VALUE
  rm -f "$1/display.tmp" "$1/display"
  : >"$1/xvfb.log"
  # -displayfd: Xvfb writes the display number once it accepts clients.
  start_marked "$2" "$1/xvfb.log" setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$1/display.tmp"
  echo "$started_pid" >"$1/xvfb.pid"
  if wait_until 20 xvfb_settled "$1" "$started_pid" && [ -s "$1/display.tmp" ]; then
    echo ":$(tr -d '[:space:]' <"$1/display.tmp")" >"$1/display"
    rm -f "$1/display.tmp"
    return 0
  fi
  stop_xvfb "$1"
  return 1
}

# Asks Xvfb to end, which lets it remove its socket and lock file; kills it after 5 s.
stop_xvfb() {  # stop_xvfb DIR
  if xvfb_running "$1"; then end_pids 5 "$(<"$1/xvfb.pid")"; fi
  rm -f "$1/xvfb.pid" "$1/display" "$1/display.tmp"
}
