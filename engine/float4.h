#pragma once
// Four 32-bit floats in one SSE2 register, and the two sample rules of flush.h on all four lanes
// at once. Each lane computes exactly what the scalar rule computes, -0.0 and NaN included: the
// rules only ever keep a value or replace it by +0.0.
//
// The range checks work on r = 0x7FFFFFFF - |bits|, the magnitude's bit pattern reversed, which
// orders non-negative floats as their values do, backwards, and puts every NaN below infinity.
// `flush4` keeps a lane when kFlushThreshold <= |v| <= kFlushCeiling. Moved by the threshold's
// pattern, that interval of r becomes the top of the signed range, so one signed "greater than"
// tests both ends: a lane above the ceiling lands below it, one below the threshold wraps round
// to the bottom of the range. Each rule is one copy, four instructions and no branch.

#include <emmintrin.h>

#include <cstdint>

#include "engine/flush.h"

using Float4 = __m128;

namespace float4_detail {

constexpr int32_t kThresholdBits = 0x2D2FEBFF;  // kFlushThreshold
constexpr int32_t kCeilingBits = 0x49742400;    // kFlushCeiling
constexpr int32_t kLargestFiniteBits = 0x7F7FFFFF;
constexpr int32_t kMagnitudeMask = 0x7FFFFFFF;

// r + kThresholdBits lies in (kKeptAbove, INT32_MAX] exactly for the kept magnitudes.
constexpr int32_t kKeptAbove = kMagnitudeMask - (kCeilingBits - kThresholdBits) - 1;
// r lies above this exactly for the finite magnitudes.
constexpr int32_t kFiniteAbove = kMagnitudeMask - kLargestFiniteBits - 1;

// 0x7FFFFFFF - |bits| for each lane: the sign is dropped and the rest inverted.
inline __m128i reversedMagnitude(Float4 v) {
  return _mm_castps_si128(_mm_andnot_ps(v, _mm_castsi128_ps(_mm_set1_epi32(kMagnitudeMask))));
}

inline __m128i wrappingAdd(__m128i a, int32_t b) { return _mm_add_epi32(a, _mm_set1_epi32(b)); }

}  // namespace float4_detail

inline Float4 flush4(Float4 v) {
  using namespace float4_detail;
  const __m128i moved = wrappingAdd(reversedMagnitude(v), kThresholdBits);
  const __m128i kept = _mm_cmpgt_epi32(moved, _mm_set1_epi32(kKeptAbove));
  return _mm_and_ps(_mm_castsi128_ps(kept), v);
}

inline Float4 finiteOrZero4(Float4 v) {
  using namespace float4_detail;
  const __m128i kept = _mm_cmpgt_epi32(reversedMagnitude(v), _mm_set1_epi32(kFiniteAbove));
  return _mm_and_ps(_mm_castsi128_ps(kept), v);
}

inline Float4 abs4(Float4 v) {
  return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(float4_detail::kMagnitudeMask)));
}
