#pragma once
// The flush rule keeps denormal and invalid numbers out of the filter states: a value whose
// magnitude is below 1e-11 (as a 32-bit float), or which is not a number, becomes 0. An
// infinity becomes 0 as well: let through, it would turn every later state into NaN. So does a
// magnitude above 1e6, 120 dB over full scale, which no audio reaches: the narrow bands lose
// such a value only at their own slow rate, so that one stray sample of 1e30 from the host
// would leave the effect silent or deafening for seconds, at narrow widths for minutes.

#include <cmath>
#include <cstdint>
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

// The two rules on bit patterns, for the vector forms (float4.h, band_kernel_wide.h), which
// compute exactly what the rules above compute, -0.0 and NaN included: they only ever keep a
// value or replace it by +0.0.
//
// The flush works on d = bits + bits, wrapping: the pattern doubled, which drops the sign and, as
// an unsigned number, orders the magnitudes as their values do, every NaN above infinity. It
// keeps a value when kFlushThreshold <= |v| <= kFlushCeiling, that is d from 2 kThresholdBits
// to 2 kCeilingBits. Moved by kKeyShift, that interval becomes the top of the signed range, so
// that one signed "greater than kKeptAbove" of the key tests both ends: a larger d wraps round
// to the bottom of the range, a smaller one stays below. A speculative stretch keeps the least
// key it saw (stretch_runner.h).
//
// The finite check works on r = 0x7FFFFFFF - |bits|, the magnitude's bit pattern reversed, which
// orders non-negative floats as their values do, backwards, and puts every NaN below infinity.
namespace flush_bits {

constexpr uint32_t kThresholdBits = 0x2D2FEBFF;  // kFlushThreshold
constexpr uint32_t kCeilingBits = 0x49742400;    // kFlushCeiling
constexpr int32_t kLargestFiniteBits = 0x7F7FFFFF;
constexpr int32_t kMagnitudeMask = 0x7FFFFFFF;

// d + kKeyShift (wrapping) is the key; it lies in (kKeptAbove, INT32_MAX] exactly for the kept
// magnitudes.
constexpr int32_t kKeyShift = static_cast<int32_t>(0x7FFFFFFFu - 2 * kCeilingBits);
constexpr int32_t kKeptAbove =
    static_cast<int32_t>(0x7FFFFFFFu - 2 * (kCeilingBits - kThresholdBits) - 1);
// r lies above this exactly for the finite magnitudes.
constexpr int32_t kFiniteAbove = kMagnitudeMask - kLargestFiniteBits - 1;

}  // namespace flush_bits
