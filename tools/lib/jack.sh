# shellcheck shell=bash
# A JACK server of one's own for the tests that run the LV2 plug-in in a real host: jackd2 with
# its dummy driver (no sound card), under a name no other server has, in a mount namespace with
# a private /dev/shm. Sourced, bash 5.
#
# The namespace matters: jackd2 removes the shared /dev/shm/jack_db-$UID when it exits, even
# while another server still uses it, so two test runs side by side would break each other.
# A script takes it by calling `private_shm "$@"` first thing: that runs the script again inside
# `unshare -m` (as root; otherwise in a user namespace of its own, which needs no privilege
# where the kernel allows it) with a fresh /dev/shm, and the server and every client it starts
# inherit it. The namespace ends with the script's last process.
#
# Clients find the server through JACK_DEFAULT_SERVER, which start_jack exports, and never
# start one of their own (JACK_NO_START_SERVER).

[ -z "${jack_sh_loaded:-}" ] || return 0
jack_sh_loaded=1
# shellcheck source=tools/lib/processes.sh
source "${BASH_SOURCE[0]%/*}/processes.sh"

# Runs the calling script again in a mount namespace of its own with an empty /dev/shm, once;
# returns at once inside it. Call it as `private_shm "$@"` before anything is started.
private_shm() {  # private_shm ARGUMENTS-OF-THE-SCRIPT...
  if [ "${MULCHVOICE_PRIVATE_SHM:-}" != 1 ]; then
    local as_root=()
    [ "$(id -u)" = 0 ] || as_root=(--map-root-user)
    MULCHVOICE_PRIVATE_SHM=1 exec unshare --mount --propagation private "${as_root[@]}" \
      bash "$0" "$@"
  fi
  mount -t tmpfs -o mode=1777 tmpfs /dev/shm ||
    { echo "jack: cannot mount a private /dev/shm" >&2; exit 1; }
}

jack_ready() {  # jack_ready PID: the server answers, or it has ended
  jack_lsp >/dev/null 2>&1 || ! alive "$1"
}

# Starts jackd2 with the dummy driver at RATE Hz and PERIOD frames, named NAME, marked MARK,
# its output in LOG, and waits (20 s at most) until it answers. Sets `jack_pid` to the server's
# id. Fails, with nothing left running, if it does not start. Without real-time scheduling, so
# that it runs anywhere; the dummy driver still wakes the graph once per period, on time.
start_jack() {  # start_jack NAME RATE PERIOD MARK LOG
  export JACK_DEFAULT_SERVER=$1 JACK_NO_START_SERVER=1
  start_marked "$4" "$5" jackd --no-realtime --name "$1" -d dummy -r "$2" -p "$3" \
    -C 2 -P 2
  jack_pid=$started_pid
  if wait_until 20 jack_ready "$jack_pid" && alive "$jack_pid"; then return 0; fi
  echo "jack: the server $1 did not start; its output:" >&2
  cat "$5" >&2
  stop_jack
  return 1
}

# Asks the server to end, and kills it after 5 s.
stop_jack() {
  [ -z "${jack_pid:-}" ] || end_pids 5 "$jack_pid"
  jack_pid=
}

# Waits (SECONDS at most) until the JACK port PORT exists, e.g. a client's "name:out1".
await_jack_port() {  # await_jack_port SECONDS PORT
  wait_until "$1" jack_port_exists "$2"
}

jack_port_exists() {  # jack_port_exists PORT
  jack_lsp 2>/dev/null | grep -qxF "$1"
}

# The xruns the server has reported so far in LOG, its output.
jack_xruns() {  # jack_xruns LOG
  grep -ci 'xrun' "$1" || true
}
