#!/usr/bin/env bash
# The panel in hosts (tests/native/jalv_panel/CMakeLists.txt names the cases), on a display of
# its own and, for Debian's jalv.gtk3, with a JACK server of its own (dummy driver, private
# /dev/shm). Every step has a deadline; all it starts carries a mark and is ended by its id, and
# the case fails if anything with the mark is left. Exits 77 (skipped) when a program is missing,
# but fails instead under CI, where everything is installed.
#
#   jalv_panel_test.sh CASE PANEL_PROBE BUNDLE_DIR WORK_DIR
set -euo pipefail
tools=$(cd "$(dirname "$0")/../../../tools" && pwd)
# shellcheck source=tools/lib/jack.sh
source "$tools/lib/jack.sh"
# shellcheck source=tools/lib/xvfb.sh
source "$tools/lib/xvfb.sh"

case_name=$1 probe=$2 bundle=$3 work=$4
needed=(Xvfb)
[ "$case_name" = two_instances_in_one_host ] ||
  needed+=(jalv.gtk3 jackd jack_lsp jack_connect jack_rec jack_simple_client xdotool sox unshare)
for program in "${needed[@]}"; do
  command -v "$program" >/dev/null ||
    { echo "SKIPPED: $program is missing (tools/install-deps.sh installs it)"
      # In CI everything is installed: a missing program there is a failure.
      [ -z "${CI:-}" ] || exit 1
      exit 77; }
done
[ "$case_name" = two_instances_in_one_host ] || private_shm "$@"

mkdir -p "$work"
mark=MULCHVOICE_PANEL_TEST=$case_name-$$
export LV2_PATH=${bundle%/*}
failed=0
fail() { echo "FAILED: $*"; failed=1; }
finish() {
  [ -z "${jalv_pid:-}" ] || end_pids 10 "$jalv_pid"
  stop_jack
  stop_xvfb "$work"
  end_leftovers "processes of the panel test outlived it" "$mark" || failed=1
  [ "$failed" = 0 ] && echo PASSED || echo FAILED
  exit "$failed"
}
trap finish EXIT
start_xvfb "$work" "$mark" || { fail "no virtual display"; exit 1; }
DISPLAY=$(xvfb_display "$work")
export DISPLAY

panel_window() { xdotool search --class MulchvoiceClass 2>/dev/null | head -n 1; }
panel_shown() { [ -n "$(panel_window)" ]; }
captured() { timeout 5 "$probe" capture "$@" >"$work/capture.log" 2>&1; }

# jalv.gtk3 with the plug-in, its settings as --control options (long options: 1.6.6 declares
# -n and -p twice); waits 30 s at most for the panel.
start_jalv() {  # start_jalv SYMBOL=VALUE...
  start_marked "$mark" "$work/jalv.log" jalv.gtk3 --jack-name=mulchvoice "${@/#/--control=}" \
    urn:mulchvoice:vocoder
  jalv_pid=$started_pid
  wait_until 30 panel_shown || { cat "$work/jalv.log"; fail "jalv.gtk3 shows no panel"; exit 1; }
}

# The RMS level of a WAV file in dB, and the share of its 10 ms windows that are silent (below
# -60 dB) in per cent: about half while the gate chops, none when it lets the sound through.
levels() {  # levels WAV
  sox "$1" -t dat - | awk '!/^;/ { sum += $2 * $2; all += $2 * $2; frames++
    if (++n == 480) { windows++; if (sum / n < 1e-6) silent++; sum = n = 0 } }
    END { printf "%.1f %d\n", 10 * log(all / frames) / log(10), 100 * silent / windows }'
}

# 2 s of the plug-in's output, 15 s at most.
record() {  # record WAV
  run_watched 15 jack_rec -f "$1" -d 2 mulchvoice:out1 >/dev/null
  [ "$watched_status" = 0 ] || fail "jack_rec did not record $1"
}

case $case_name in
  two_instances_in_one_host)
    run_watched 60 "$probe" two-instances "$bundle/mulchvoice_ui.so"
    [ "$watched_status" = 0 ] || fail "two panels in one host"
    ;;
  jalv_shows_the_panel)
    start_jack panel 48000 256 "$mark" "$work/jack.log" || { fail "no JACK server"; exit 1; }
    sets=("filter=0.9"
          "carrier=0 speech=0.25 filter=0.5 morph=0.75 freq=0.6 gain=1 switch_cs=1 mulch_io=0"
          "carrier=0.33 speech=0.66 filter=0.05 morph=0.45 freq=0.95 gain=0.15 switch_cs=1 mulch_io=1")
    for i in "${!sets[@]}"; do
      read -ra values <<<"${sets[$i]}"
      start_jalv "${values[@]}"
      echo "values ${sets[$i]}:"
      wait_until 10 captured "$work/panel-$i.png" "${values[@]}" || fail "the panel for ${sets[$i]}"
      cat "$work/capture.log"
      echo "${sets[$i]}" >"$work/panel-$i.values"
      end_pids 10 "$jalv_pid"
    done
    ;;
  jalv_panel_drives_the_sound)
    start_jack sound 48000 256 "$mark" "$work/jack.log" || { fail "no JACK server"; exit 1; }
    start_jalv gain=1
    start_marked "$mark" "$work/sine.log" jack_simple_client
    await_jack_port 10 jack_simple_client:output1 || fail "no sine"
    for input in in1 in2; do timeout 10 jack_connect jack_simple_client:output1 "mulchvoice:$input"; done
    sleep 0.5  # the envelopes settle
    record "$work/before.wav"
    # Pressed on the gain knob right of its centre (360, 69), then a half turn counter-clockwise
    # at 30 pixels through the top: the gain falls from 1 to about 0.41.
    panel=$(panel_window)
    moves=(mousemove --window "$panel" 376 69 mousedown 1)
    for step in $(seq 0 16); do
      moves+=(mousemove --window "$panel" $(awk -v a="$step" 'BEGIN { a *= 3.14159 / 16
        printf "%d %d", 360 + 30 * cos(a), 69 - 30 * sin(a) }'))
    done
    run_watched 20 xdotool "${moves[@]}" mouseup 1
    sleep 0.5  # the idle calls that send the values
    record "$work/after-drag.wav"
    run_watched 10 xdotool mousemove --window "$panel" 288 106 click 1
    sleep 0.5
    record "$work/after-click.wav"
    read -r before chopped < <(levels "$work/before.wav")
    read -r after chopped_after < <(levels "$work/after-drag.wav")
    read -r level_click chopped_click < <(levels "$work/after-click.wav")
    echo "level before the drag ${before} dB, after it ${after} dB"
    echo "silent 10 ms windows: ${chopped}% before the drag, ${chopped_after}% after it," \
         "${chopped_click}% after the click on mulch I/O (level ${level_click} dB)"
    awk -v b="$before" -v a="$after" 'BEGIN { exit !(a < b - 3) }' ||
      fail "the drag on the gain knob did not lower the level"
    [ "$chopped" -ge 25 ] && [ "$chopped_after" -ge 25 ] && [ "$chopped_click" = 0 ] ||
      fail "the click on mulch I/O did not stop the chopping"
    ;;
  *) echo "unknown case $case_name"; exit 2 ;;
esac
