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

# shellcheck source=tools/lib/processes.sh
source "$root/tools/lib/processes.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }

# The processes of this check's sessions, by the mark every process of a run carries.
session_mark="MULCHVOICE_WINE_RUN=$runs.*"

# Notes the processes of the sessions it has not seen yet, and how many of them are hangs.exe;
# succeeds once the watchdog has ended.
look() {
  local pid
  alive "$watchdog" || return 0
  for pid in $(marked_pids "$session_mark"); do
    case " ${seen[*]} " in *" $pid "*) continue ;; esac
    seen+=("$pid")
    grep -qa 'hangs\.exe' "/proc/$pid/cmdline" 2>/dev/null && programs=$((programs + 1))
  done
  return 1
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
# Both tries under emulation take about a minute; CTest's limit is 180 s.
if ! wait_until 120 look; then
  end_pids 30 "$watchdog"
  fail "tools/wine-env.sh run itself still ran after 120 s"
fi
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
left=$(marked_pids "$session_mark")
[ -z "$left" ] || fail "processes left: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
for pid in "${seen[@]}"; do
  ! alive "$pid" || fail "process $pid of a session is still there: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
done
! ls -d "$runs".* >/dev/null 2>&1 || fail "a session's directory was left: $(ls -d "$runs".*)"
echo "PASS: the watchdog ended the hung program and its session at the time limit"
