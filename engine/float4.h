#pragma once
// Four 32-bit floats in one SSE2 register, and the two sample rules of flush.h on all four lanes
// at once, on the lanes' bit patterns as flush.h explains. Each rule is one copy, four
// instructions and no branch.

#include <emmintrin.h>

#include <cstdint>

#include "engine/flush.h"

using Float4 = __m128;

namespace float4_detail {

// 0x7FFFFFFF - |bits| for each lane: the sign is dropped and the rest inverted.
inline __m128i reversedMagnitude(Float4 v) {
  return _mm_castps_si128(
      _mm_andnot_ps(v, _mm_castsi128_ps(_mm_set1_epi32(flush_bits::kMagnitudeMask))));
}

inline __m128i wrappingAdd(__m128i a, int32_t b) { return _mm_add_epi32(a, _mm_set1_epi32(b)); }

}  // namespace float4_detail

// The flush's range key of each lane (flush.h): above flush_bits::kKeptAbove exactly for the
// values the flush keeps.
inline __m128i flushKey4(Float4 v) {
  const __m128i bits = _mm_castps_si128(v);
  return float4_detail::wrappingAdd(_mm_add_epi32(bits, bits), flush_bits::kKeyShift);
}

inline Float4 flush4(Float4 v) {
  const __m128i kept = _mm_cmpgt_epi32(flushKey4(v), _mm_set1_epi32(flush_bits::kKeptAbove));
  return _mm_and_ps(_mm_castsi128_ps(kept), v);
}

inline Float4 finiteOrZero4(Float4 v) {
  using namespace float4_detail;
  const __m128i kept =
      _mm_cmpgt_epi32(reversedMagnitude(v), _mm_set1_epi32(flush_bits::kFiniteAbove));
  return _mm_and_ps(_mm_castsi128_ps(kept), v);
}

inline Float4 abs4(Float4 v) {
  return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(flush_bits::kMagnitudeMask)));
}
