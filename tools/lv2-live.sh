#!/usr/bin/env bash
# The LV2 plug-in live in a real-time host: Debian's jalv runs it under a JACK server of our own
# (jackd2, dummy driver, 48000 Hz, 64-frame periods, no real-time scheduling, a private
# /dev/shm), jack_simple_client's sine feeds both inputs, jack_rec records output 1 with the
# input, and all eight controls move 50 times a second each through jalv's console for SECONDS
# (default 30), with probes of known gain between (tools/lv2live/live_controls.cpp).
#
#   tools/lv2-live.sh [SECONDS] [build tree, default build/native]
#
# jalv loads the plug-in through the run timer (tools/lv2live/run_timer.cpp), which times every
# run. Fails, saying why, unless: every sample the plug-in wrote is finite (the recording's
# integer samples could not show it); the recording holds every probe of the session, and its
# level follows the gain; no xrun was the plug-in's own: no run waited, and no more than one
# took longer than the period's deadline by its work alone (the run timer says why one may be
# the machine's); and nothing of the session is left running. Xruns of a loaded machine (the
# server's timer thread woken late, a client not scheduled in time) are counted and shown, not
# held against the plug-in. Prints the figures on lines that start with "live ": control
# changes, runs and their work against the period's deadline, xruns, the recording's levels.
# Builds what it needs first; a missing program is an error, not a reason to skip.
set -euo pipefail
# shellcheck source=tools/lib/jack.sh
source "$(dirname "$0")/lib/jack.sh"
private_shm "$@"
cd "$(dirname "$0")/.."
# The session's processes at a raised priority where that is allowed (as root), as audio users
# give their audio; still without real-time scheduling.
renice -n -10 -p $$ >/dev/null 2>&1 || true

seconds=${1:-30}
build=${2:-build/native}
rate=48000
period=64

missing=()
for program in jackd jalv jack_simple_client jack_rec jack_connect jack_lsp sox unshare; do
  command -v "$program" >/dev/null || missing+=("$program")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "lv2-live: FAILED: missing ${missing[*]}; tools/install-deps.sh installs them (as root)" >&2
  exit 1
fi

cmake --build "$build" -j2 --target mulchvoice_run_timer lv2_live_controls >/dev/null
build=$(cd "$build" && pwd)
controls=$(find "$build/tools/lv2live" -name lv2_live_controls -type f | head -n 1)
work=$build/lv2-live
rm -rf "$work"
mkdir -p "$work"

mark="MULCHVOICE_LV2_LIVE=$$"
failures=()
fail() { failures+=("$*"); }
# Ends the session's server and every process of it still there, once; fails if any was.
finished=0
finish() {
  [ "$finished" = 0 ] || return 0
  finished=1
  stop_jack
  end_leftovers "processes of the live session outlived it" "$mark"
}
trap 'finish || true' EXIT
trap 'exit 130' INT TERM HUP

start_jack "mulchvoice-live-$$" "$rate" "$period" "$mark" "$work/jackd.log"

# jalv reads the control changes on its console; the player waits for the go file.
began=${EPOCHREALTIME//[!0-9]/}
# shellcheck disable=SC2016  # the inner shell expands them
start_marked "$mark" "$work/jalv.log" bash -c \
  '"$1" play "$2" "$3" 2>"$5" | LV2_PATH="$4" jalv -n mulchvoice -c gain=0 urn:mulchvoice:vocoder' \
  session "$controls" "$seconds" "$work/go" "$build/lv2-timed" "$work/controls.log"
session=$started_pid
start_marked "$mark" "$work/simple.log" jack_simple_client
simple=$started_pid
if ! await_jack_port 20 mulchvoice:in2 || ! await_jack_port 20 jack_simple_client:output1; then
  cat "$work/jalv.log" "$work/simple.log"
  echo "lv2-live: FAILED: the clients did not start"
  exit 1
fi
jack_connect jack_simple_client:output1 mulchvoice:in1
jack_connect jack_simple_client:output1 mulchvoice:in2
# jack_rec records until it is told to stop: on a busy machine the server runs fewer periods
# than the clock would have it.
length=$("$controls" length "$seconds")
start_marked "$mark" "$work/rec.log" jack_rec -f "$work/recorded.wav" -d $((length * 100)) -b 32 \
  mulchvoice:out1 jack_simple_client:output1
recorder=$started_pid
wait_until 20 eval 'jack_lsp -c mulchvoice:out1 | grep -q "^ "' ||
  { echo "lv2-live: FAILED: the recorder did not connect"; exit 1; }
touch "$work/go"

await_end $((length + 60)) "$session" || fail "jalv did not end"
lasted=$(( ${EPOCHREALTIME//[!0-9]/} - began ))
# A second more of silence, for the recorder to write down what it holds; stopped by a signal,
# it leaves the sizes in the file's header at 0, which sox can read past.
sleep 1
kill -INT "$recorder"
await_end 10 "$recorder" || fail "jack_rec did not end"
end_pids 5 "$simple"
stop_jack
if sox -V1 --ignore-length "$work/recorded.wav" -b 32 -e signed-integer "$work/recording.wav"; then
  rm "$work/recorded.wav"
else
  fail "the recording cannot be read"
fi

# The figures.
timer=$(grep -m 1 '^run timer:' "$work/jalv.log" || true)
figure() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$timer"; }
grep -h '^controls:' "$work/controls.log" | sed 's/^/live /' ||
  fail "the controls did not play to the end"
if [ -z "$timer" ]; then
  fail "jalv did not free the plug-in (no run timer report)"
  tail -n 20 "$work/jalv.log"
else
  echo "live plug-in: $(figure runs) runs of $(figure frames) frames against a deadline of" \
    "$(figure deadline_us) us; work: median at most $(figure median_work_us) us, 99.9% at most" \
    "$(figure p999_work_us) us, worst $(figure worst_work_us) us; worst on the clock" \
    "$(figure worst_clock_us) us; past the deadline $(figure past_deadline), by its own work or" \
    "waiting $(figure own_overruns); waited $(figure waited), preempted $(figure preempted);" \
    "samples not finite $(figure not_finite)"
  # One run past the deadline by its work alone can be the machine's: an interrupt, or the host
  # of a virtual machine taking the processor away, counts as the run's work. The plug-in does
  # the same work in every period, so its own overruns would come again.
  [ "$(figure own_overruns)" -le 1 ] ||
    fail "xruns caused by the plug-in: $(figure own_overruns) runs overran by their own work"
  [ "$(figure waited)" = 0 ] || fail "the plug-in waited in $(figure waited) runs"
  [ "$(figure not_finite)" = 0 ] || fail "samples not finite: $(figure not_finite)"
  echo "live session: jalv ran $((lasted / 1000)) ms, and the plug-in in" \
    "$(( $(figure runs) * period * 100000000 / (rate * lasted) ))% of its periods"
fi
late=$(grep -c 'JackTimedDriver::Process XRun' "$work/jackd.log" || true)
worst_late=$(sed -n 's/.*JackTimedDriver::Process XRun = \([0-9]*\) usec.*/\1/p' "$work/jackd.log" |
  sort -n | tail -n 1)
# A client "Triggered" had not begun its period when the next began: it did not get the
# processor in time. "Running" had begun and not finished.
clients=$(sed -n 's/.*JackEngine::XRun: client = \(.*\) was not finished, state = \(.*\)/\1 \2/p' \
  "$work/jackd.log" | sort | uniq -c | awk '{ printf "%s%s %s %s", (NR > 1 ? ", " : ""), $2, $3, $1 }')
echo "live JACK: $(jack_xruns "$work/jackd.log") xruns: its timer woke late ${late} times" \
  "(by ${worst_late:-0} us at most); clients not finished in time: ${clients:-none}"
"$controls" check "$seconds" "$work/recording.wav" | sed 's/^/live /' || fail "the recording"

finish || fail "processes of the session outlived it"
if [ ${#failures[@]} -ne 0 ]; then
  printf 'lv2-live: FAILED: %s\n' "${failures[@]}"
  echo "logs in $work"
  exit 1
fi
echo "lv2-live: passed"
