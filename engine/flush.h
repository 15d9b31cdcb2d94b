#pragma once
// The flush rule keeps denormal and invalid numbers out of the filter states: a value whose
// magnitude is below 1e-11 (as a 32-bit float), or which is not a number, becomes 0. An
// infinity becomes 0 as well: let through, it would turn every later state into NaN. So does a
// magnitude above 1e6, 120 dB over full scale, which no audio reaches: the narrow bands lose
// such a value only at their own slow rate, so that one stray sample of 1e30 from the host
// would leave the effect silent or deafening for seconds, at narrow widths for minutes.

#include <cmath>
#include <limits>

constexpr float kFlushThreshold = 1e-11f;  // 11529215 * 2^-60
constexpr float kFlushCeiling = 1e6f;

inline float flush(float v) {
  float magnitude = std::fabs(v);
  return (magnitude >= kFlushThreshold && magnitude <= kFlushCeiling) ? v : 0.0f;
}

// What the plug-in hands the host is always a finite number: a sample that overflowed (from
// inputs or gains far outside their range) or is not a number leaves as 0.
inline float finiteOrZero(float v) {
  return std::fabs(v) <= std::numeric_limits<float>::max() ? v : 0.0f;
}
