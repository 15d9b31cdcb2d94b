#pragma once
// Which controls a refresh draws again: those whose parameter's current value would look
// different from what they last drew. A knob compares the value itself (one that is not a
// number always counts as changed), a switch its state. Both editors refresh by these rules,
// so they redraw the same controls for the same changes.

#include <cstdint>

#include "editor/switch_state.h"

inline bool knobNeedsRedraw(float shownValue, float current) { return current != shownValue; }

inline bool switchNeedsRedraw(int16_t shownState, float current) {
  return switchState(current) != shownState;
}
