#pragma once
// What a toggle switch shows for a parameter value: the value truncated towards zero, so 1 only
// at exactly 1.0 and 0 for everything from 0.0 up to just below it. Any other state (a host
// may set 2.0, -1.5 or not a number) shows nothing and a click on it sets nothing; values far
// out of range saturate rather than wrap round to 0 or 1.

#include <cmath>
#include <cstdint>

constexpr int16_t kSwitchOff = 0;
constexpr int16_t kSwitchOn = 1;
constexpr int16_t kSwitchUndefined = INT16_MIN;

inline int16_t switchState(float value) {
  if (std::isnan(value)) return kSwitchUndefined;
  if (value >= 32767.0f) return INT16_MAX;
  if (value <= -32768.0f) return INT16_MIN;
  return static_cast<int16_t>(value);
}

// What a click sets: a switch showing off is turned on (1.0), one showing on is turned off
// (0.0); one showing neither sets nothing, and the answer is false.
inline bool switchClickValue(int16_t shownState, float& value) {
  if (shownState == kSwitchOff) value = 1.0f;
  if (shownState == kSwitchOn) value = 0.0f;
  return shownState == kSwitchOff || shownState == kSwitchOn;
}
