#pragma once
// The band kernel for 256-bit vectors: the same steps as the SSE2 kernel (band_kernel_sse2.cpp),
// with all eight bands in the lanes of one vector, band 1 in lane 0. Every lane does what one
// band does in the band-by-band form (band_kernel.h), operation for operation, and the
// three-operand instructions keep the inputs of each operation without copies. No fused
// multiply-add: each product is rounded before it is added, as in the band-by-band form, so the
// samples and states are those of the SSE2 kernel, bit for bit.
//
// Two files compile it: band_kernel_avx.cpp for AVX and band_kernel_avx2.cpp for AVX2, which
// adds 256-bit integer operations; they differ in the flush alone. Only those files are
// compiled for the wider instructions, and bandKernelFor (band_kernel_choice.cpp) only hands a
// kernel out where the processor and the system run it. So that no such instruction can reach
// other code, everything here has internal linkage and no inline function of a shared header is
// called (only its constants are used): the linker could keep a copy compiled here for every
// caller. The test WideKernelsAreSealed checks the two objects for it.
//
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "engine/band_kernel.h"
#include "engine/flush.h"  // the flush's constants only

namespace {

using Float8 = __m256;

constexpr int32_t kSumWidth = 8;  // samples summed at once, one to a lane

// The eight bands: coefficients, then the five states.
struct Bands {
  Float8 b1, negB2, a0;
  Float8 speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;
};

struct Coefficients {
  Float8 envIn0, envFb, gain;
};

Float8 magnitude(Float8 v) {
  return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(flush_bits::kMagnitudeMask)));
}

// The flush rule of flush.h on eight lanes: a lane is kept when
// kFlushThreshold <= |v| <= kFlushCeiling, and becomes +0.0 otherwise.
#ifdef __AVX2__
// The range check of flush.h on the reversed magnitude: four operations and one register
// besides v, which lets the five states stay in registers where there are only eight.
Float8 flush8(Float8 v) {
  using namespace flush_bits;
  const __m256i reversed = _mm256_castps_si256(
      _mm256_andnot_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(kMagnitudeMask))));
  const __m256i moved = _mm256_add_epi32(reversed, _mm256_set1_epi32(kThresholdBits));
  const __m256i kept = _mm256_cmpgt_epi32(moved, _mm256_set1_epi32(kKeptAbove));
  return _mm256_and_ps(_mm256_castsi256_ps(kept), v);
}
#else
// AVX has no 256-bit integer operations: two ordered compares of the magnitude, which are false
// for NaN, so NaN becomes +0.0 as well.
Float8 flush8(Float8 v) {
  const Float8 m = magnitude(v);
  const Float8 kept = _mm256_and_ps(_mm256_cmp_ps(m, _mm256_set1_ps(kFlushThreshold), _CMP_GE_OQ),
                                    _mm256_cmp_ps(m, _mm256_set1_ps(kFlushCeiling), _CMP_LE_OQ));
  return _mm256_and_ps(kept, v);
}
#endif

// One step of the eight band filters: returns y and advances z1 and z2. As in the SSE2 kernel,
// a1 x + z2 is formed as z2 - a0 x, exactly the same value.
Float8 filterStep(const Bands& c, Float8 x, Float8& z1, Float8& z2) {
  const Float8 a0x = _mm256_mul_ps(c.a0, x);
  const Float8 fed = _mm256_sub_ps(z2, a0x);
  const Float8 y = _mm256_add_ps(a0x, z1);
  z1 = flush8(_mm256_sub_ps(fed, _mm256_mul_ps(c.b1, y)));
  z2 = flush8(_mm256_mul_ps(c.negB2, y));
  return y;
}

// A sample's pair (band 1's input, the others') spread over the lanes: band 1's input in lane 0,
// the others' in lanes 1 to 7. The pair is loaded once into every 64-bit element, then each lane
// picks element 0 or 1 of its half.
Float8 spread(const float* pair, __m256i picks) {
  double both;
  std::memcpy(&both, pair, sizeof both);
  return _mm256_permutevar_ps(_mm256_castpd_ps(_mm256_set1_pd(both)), picks);
}

// One sample of the eight bands: the speech-side filter, its envelope, the carrier-side filter
// and the product e * y_c * gain * kProductScale, multiplied from the left.
Float8 bandStep(Bands& l, Float8 speech, Float8 carrier, const Coefficients& k) {
  const Float8 ys = filterStep(l, speech, l.speechZ1, l.speechZ2);
  const Float8 in0r = _mm256_mul_ps(k.envIn0, magnitude(ys));
  const Float8 e = _mm256_add_ps(in0r, l.envZ1);
  l.envZ1 = flush8(_mm256_sub_ps(in0r, _mm256_mul_ps(k.envFb, e)));
  const Float8 yc = filterStep(l, carrier, l.carrierZ1, l.carrierZ2);
  return _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(e, yc), k.gain),
                       _mm256_set1_ps(kProductScale));
}

// Four bands of eight samples: (sample k's bands | sample k + 4's bands) from `first` on.
Float8 quarter(const float* products, int32_t k, int32_t first) {
  const float* low = products + kNumBands * k + first;
  const float* high = low + kNumBands * 4;
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(low)), _mm_loadu_ps(high), 1);
}

// The band sums of eight samples, one to a lane: the products (eight to a sample, in band
// order) are turned round four bands at a time, so that each vector holds one band of all eight
// samples; band 1 and band 2 are added, then bands 3 to 8 in turn, as one sample's sum does.
Float8 bandSums(const float* products) {
  Float8 sum = _mm256_setzero_ps();
  for (int32_t first = 0; first < kNumBands; first += 4) {
    const Float8 q0 = quarter(products, 0, first), q1 = quarter(products, 1, first);
    const Float8 q2 = quarter(products, 2, first), q3 = quarter(products, 3, first);
    const Float8 t0 = _mm256_unpacklo_ps(q0, q1), t1 = _mm256_unpackhi_ps(q0, q1);
    const Float8 t2 = _mm256_unpacklo_ps(q2, q3), t3 = _mm256_unpackhi_ps(q2, q3);
    const Float8 band0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const Float8 band1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const Float8 band2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const Float8 band3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    sum = first == 0 ? _mm256_add_ps(band0, band1)
                     : _mm256_add_ps(_mm256_add_ps(sum, band0), band1);
    sum = _mm256_add_ps(_mm256_add_ps(sum, band2), band3);
  }
  return sum;
}

// One sample's band sum, band 1 first.
float bandSum(const float* p) {
  float sum = p[0] + p[1];
  for (int32_t band = 2; band < kNumBands; ++band) sum += p[band];
  return sum;
}

// The products of `count` samples summed into `work`, times the gate's gains when there are any.
void sum(const float* products, const float* gains, float* work, int32_t count) {
  int32_t i = 0;
  for (; i + kSumWidth <= count; i += kSumWidth) {
    Float8 sums = bandSums(products + kNumBands * i);
    if (gains != nullptr) sums = _mm256_mul_ps(sums, _mm256_loadu_ps(gains + i));
    _mm256_storeu_ps(work + i, sums);
  }
  for (; i < count; ++i) {
    const float s = bandSum(products + kNumBands * i);
    work[i] = gains != nullptr ? s * gains[i] : s;
  }
}

// The kernel (band_kernel.h).
void runWideBands(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                  float* work, int32_t n) {
  Bands l = {_mm256_loadu_ps(bands.b1),        _mm256_loadu_ps(bands.negB2),
             _mm256_loadu_ps(bands.a0),        _mm256_loadu_ps(bands.speechZ1),
             _mm256_loadu_ps(bands.speechZ2),  _mm256_loadu_ps(bands.carrierZ1),
             _mm256_loadu_ps(bands.carrierZ2), _mm256_loadu_ps(bands.envZ1)};
  const Coefficients k = {_mm256_set1_ps(settings.envIn0), _mm256_set1_ps(settings.envFb),
                          _mm256_set1_ps(settings.gain)};
  // Lane 0 takes element 0 of the pair, every other lane element 1.
  const __m256i picks = _mm256_setr_epi32(0, 1, 1, 1, 1, 1, 1, 1);
  // The products of a stretch of samples, eight to a sample in band order.
  float products[kKernelStretch * kNumBands];

  for (int32_t first = 0; first < n; first += kKernelStretch) {
    const int32_t count = n - first < kKernelStretch ? n - first : kKernelStretch;
    const float* speechPairs = in.speechPairs + 2 * first;
    const float* carrierPairs = in.carrierPairs + 2 * first;
    for (int32_t i = 0; i < count; ++i) {
      _mm256_storeu_ps(products + kNumBands * i,
                       bandStep(l, spread(speechPairs + 2 * i, picks),
                                spread(carrierPairs + 2 * i, picks), k));
    }
    sum(products, in.gateGains != nullptr ? in.gateGains + first : nullptr, work + first, count);
  }

  _mm256_storeu_ps(bands.speechZ1, l.speechZ1);
  _mm256_storeu_ps(bands.speechZ2, l.speechZ2);
  _mm256_storeu_ps(bands.carrierZ1, l.carrierZ1);
  _mm256_storeu_ps(bands.carrierZ2, l.carrierZ2);
  _mm256_storeu_ps(bands.envZ1, l.envZ1);
}

}  // namespace
