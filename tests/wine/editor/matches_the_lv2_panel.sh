#!/usr/bin/env bash
# The Windows editor shows what the LV2 panel shows in jalv.gtk3: for each set of values the
# native tree's test captured (panel-N.png, panel-N.values), the editor's screenshot for the same
# values is held to the capture (panel_probe compare). In a Wine session (tools/wine-env.sh run).
# Exits 77 (skipped) when the native tree holds no captures.
#   matches_the_lv2_panel.sh NATIVE_BUILD WORK_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
native=$1 work=$2
captures=$native/tests/native/jalv_panel/jalv_shows_the_panel
probe=$native/tests/native/jalv_panel/panel_probe
shopt -s nullglob
sets=("$captures"/panel-*.values)
if [ ${#sets[@]} = 0 ] || [ ! -x "$probe" ]; then
  echo "SKIPPED: $native holds no captures of the panel in jalv.gtk3: run its ctest first"
  exit 77
fi
mkdir -p "$work"
status=0
for values in "${sets[@]}"; do
  name=$(basename "$values" .values)
  params=()
  for setting in $(<"$values"); do params+=(--param "$setting"); done
  "$root/tools/mulchvoice" screenshot "${params[@]}" --output "$work/$name.png" >"$work/$name.log" 2>&1 ||
    { cat "$work/$name.log"; exit 1; }
  echo "values $(<"$values"):"
  "$probe" compare "$work/$name.png" "${values%.values}.png" || status=1
done
exit "$status"
