#!/usr/bin/env bash
# Runs hangs.exe under tools/wine-env.sh run with a short time limit, watches the processes of
# its session while it hangs, and checks what the watchdog did:
#
#   watchdog_check.sh <build-dir> <hangs.exe>
set -euo pipefail

root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "$1" && pwd)
hangs=$2
name=watchdog_check_$$
runs=$build/wine-env/runs/$name
out=$(mktemp)
trap 'rm -f "$out"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# The processes of this check's sessions, by the mark every process of a run carries.
session_pids() {
  local file pid
  for file in $(grep -lsxzE "MULCHVOICE_WINE_RUN=$runs\.[A-Za-z0-9]+" \
                  /proc/[0-9]*/task/[0-9]*/environ); do
    pid=${file#/proc/}
    echo "${pid%%/*}"
  done | sort -un
}

mode=$(bash "$root/tools/wine-env.sh" mode "$build")
if [ "$mode" = emulated ]; then tries=2; else tries=1; fi

# The limits leave time for the session's boot and both processes to start: about 1 s natively,
# up to 10 s under emulation on a busy machine.
status=0
bash "$root/tools/wine-env.sh" run "$build" --timeout 5 --emulated-timeout 20 --name "$name" \
  "$hangs" >"$out" 2>&1 &
watchdog=$!
seen=() programs=0
for _ in $(seq 600); do
  kill -0 "$watchdog" 2>/dev/null || break
  for pid in $(session_pids); do
    case " ${seen[*]} " in *" $pid "*) continue ;; esac
    seen+=("$pid")
    grep -qa 'hangs\.exe' "/proc/$pid/cmdline" 2>/dev/null && programs=$((programs + 1))
  done
  sleep 0.1
done
wait "$watchdog" || status=$?
# Indented: these reports are expected, not those of a test that timed out.
sed 's/^/  | /' "$out"
echo "--- $mode Wine; saw ${#seen[@]} processes of the sessions, $programs of them hangs.exe"

[ "$status" = 124 ] || fail "exit code $status, expected 124 (timed out)"
[ "$(grep -c "^wine-env: TIMED OUT: $name " "$out")" = "$tries" ] ||
  fail "expected $tries time-out reports"
grep -q "^wine-env: FAILED: $name timed out" "$out" || fail "no final time-out report"
if [ "$tries" = 2 ]; then
  grep -q "^wine-env: running $name once more" "$out" || fail "no second try under emulation"
else
  ! grep -q "once more" "$out" || fail "a second try where Wine runs natively"
fi
[ "$(grep -c '^hanging' "$out")" = "$tries" ] || fail "hangs.exe did not start its copy every time"
[ "$programs" -ge $((2 * tries)) ] || fail "saw $programs hangs.exe processes, expected $((2 * tries))"
left=$(session_pids)
[ -z "$left" ] || fail "processes left: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
for pid in "${seen[@]}"; do
  if [ -d "/proc/$pid" ] && [ "$(sed -n 's/^State:\s*\(.\).*/\1/p' "/proc/$pid/status")" != Z ]; then
    fail "process $pid of a session is still there: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
  fi
done
! ls -d "$runs".* >/dev/null 2>&1 || fail "a session's directory was left: $(ls -d "$runs".*)"
echo "PASS: the watchdog ended the hung program and its session at the time limit"
