#pragma once
// The band kernel for 256-bit vectors: the same steps as the SSE2 kernel (band_kernel_sse2.cpp),
// with all eight bands in the lanes of one vector, band 1 in lane 0. Every lane does what one
// band does in the band-by-band form (band_kernel.h), operation for operation, and the
// three-operand instructions keep the inputs of each operation without copies. No fused
// multiply-add: each product is rounded before it is added, as in the band-by-band form, so the
// samples and states are those of the SSE2 kernel, bit for bit.
//
// Two files compile it: band_kernel_avx.cpp for AVX and band_kernel_avx2.cpp for AVX2, which
// adds 256-bit integer operations; they differ in the flush and the range watch alone. Only
// those files are compiled for the wider instructions, and bandKernelFor (band_kernel_choice.cpp)
// only hands a kernel out where the processor and the system run it. So that no such instruction
// can reach other code, everything here has internal linkage and no inline function of a shared
// header is called (only its constants, and runStretches, instantiated with a type of this file,
// are used): the linker could keep a copy compiled here for every caller. The test
// WideKernelsAreSealed checks the two objects for it.
//
// It runs its stretches speculatively (stretch_runner.h), which takes the four
// operations of the flush off the chain of dependent operations from one state to the next.
//
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "engine/band_kernel.h"
#include "engine/flush.h"  // the flush's constants only
#include "engine/stretch_runner.h"

namespace {

using Float8 = __m256;

constexpr int32_t kSumWidth = 8;  // samples summed at once, one to a lane

// The eight bands: coefficients, then the five states.
struct Bands {
  Float8 b1, negB2, a0;
  Float8 speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;

  bool anyNaN() const {
    Float8 nan = _mm256_cmp_ps(speechZ1, speechZ2, _CMP_UNORD_Q);
    nan = _mm256_or_ps(nan, _mm256_cmp_ps(carrierZ1, carrierZ2, _CMP_UNORD_Q));
    nan = _mm256_or_ps(nan, _mm256_cmp_ps(envZ1, envZ1, _CMP_UNORD_Q));
    return _mm256_movemask_ps(nan) != 0;
  }
};

struct Coefficients {
  Float8 envIn0, envFb, gain;
};

Float8 magnitude(Float8 v) {
  return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(flush_bits::kMagnitudeMask)));
}

// The flush rule of flush.h on eight lanes: a lane is kept when
// kFlushThreshold <= |v| <= kFlushCeiling, and becomes +0.0 otherwise.
//
// A step keeps each new state through a policy: Flushing flushes it; RangeWatch, what a
// speculative stretch (stretch_runner.h) does instead, keeps it as it is, and notes after
// each step whether the five states it left lie in that range.
#ifdef __AVX2__
// The range key of flush.h: a lane is kept exactly when its key is above kKeptAbove, NaN and
// infinity included.
__m256i rangeKey(Float8 v) {
  const __m256i bits = _mm256_castps_si256(v);
  return _mm256_add_epi32(_mm256_add_epi32(bits, bits),
                          _mm256_set1_epi32(flush_bits::kKeyShift));
}

// Four operations and one register besides v, which lets the five states stay in registers
// where there are only eight.
Float8 flush8(Float8 v) {
  const __m256i kept =
      _mm256_cmpgt_epi32(rangeKey(v), _mm256_set1_epi32(flush_bits::kKeptAbove));
  return _mm256_and_ps(_mm256_castsi256_ps(kept), v);
}

// The range key again, with the shift read from memory at every use. Held in a register, as
// the compiler would hold it, the shift pushes a state out of the eight registers of 32-bit code
// into memory, on the chain of dependent operations from one step to the next, which takes
// nearly all the time the stretch saves there.
alignas(32) constexpr int32_t kKeyShifts[8] = {
    flush_bits::kKeyShift, flush_bits::kKeyShift, flush_bits::kKeyShift, flush_bits::kKeyShift,
    flush_bits::kKeyShift, flush_bits::kKeyShift, flush_bits::kKeyShift, flush_bits::kKeyShift};

__m256i watchedKey(Float8 v) {
  __m256i key;
  __asm__("vpaddd %1, %1, %0\n\tvpaddd %2, %0, %0" : "=x"(key) : "x"(v), "m"(kKeyShifts));
  return key;
}

// The running minimum of the keys: three operations per state, after each step.
class RangeWatch {
 public:
  Float8 keep(Float8 v) const { return v; }
  void note(const Bands& l) {
    const __m256i speech = _mm256_min_epi32(watchedKey(l.speechZ1), watchedKey(l.speechZ2));
    const __m256i carrier = _mm256_min_epi32(watchedKey(l.carrierZ1), watchedKey(l.carrierZ2));
    const __m256i step =
        _mm256_min_epi32(_mm256_min_epi32(speech, carrier), watchedKey(l.envZ1));
    lowest = _mm256_min_epi32(lowest, step);
  }
  // Whether every state noted was in the range.
  bool allKept(const Bands&) const {
    const __m256i kept = _mm256_cmpgt_epi32(lowest, _mm256_set1_epi32(flush_bits::kKeptAbove));
    return _mm256_movemask_ps(_mm256_castsi256_ps(kept)) == 0xFF;
  }

 private:
  __m256i lowest = _mm256_set1_epi32(INT32_MAX);
};
#else
// AVX has no 256-bit integer operations: two ordered compares of the magnitude, which are false
// for NaN, so NaN becomes +0.0 as well.
Float8 flush8(Float8 v) {
  const Float8 m = magnitude(v);
  const Float8 kept = _mm256_and_ps(_mm256_cmp_ps(m, _mm256_set1_ps(kFlushThreshold), _CMP_GE_OQ),
                                    _mm256_cmp_ps(m, _mm256_set1_ps(kFlushCeiling), _CMP_LE_OQ));
  return _mm256_and_ps(kept, v);
}

// The least and the greatest magnitude, three operations per state. min and max give their
// second operand when either is NaN, so a NaN leaves both as they were: a NaN is caught at the
// end instead. Without the flush a NaN state stays NaN to the end of the stretch, in that state
// or the ones it feeds: every step of a band's filter and envelope feeds each of its states
// back into itself, and any arithmetic on a NaN gives a NaN.
class RangeWatch {
 public:
  Float8 keep(Float8 v) const { return v; }
  void note(const Bands& l) {
    const Float8 speech1 = magnitude(l.speechZ1), speech2 = magnitude(l.speechZ2);
    const Float8 carrier1 = magnitude(l.carrierZ1), carrier2 = magnitude(l.carrierZ2);
    const Float8 envelope = magnitude(l.envZ1);
    const Float8 speechLeast = _mm256_min_ps(speech1, speech2);
    const Float8 carrierLeast = _mm256_min_ps(carrier1, carrier2);
    const Float8 speechMost = _mm256_max_ps(speech1, speech2);
    const Float8 carrierMost = _mm256_max_ps(carrier1, carrier2);
    least = _mm256_min_ps(
        _mm256_min_ps(_mm256_min_ps(speechLeast, carrierLeast), envelope), least);
    greatest = _mm256_max_ps(
        _mm256_max_ps(_mm256_max_ps(speechMost, carrierMost), envelope), greatest);
  }
  bool allKept(const Bands& end) const {
    const Float8 kept =
        _mm256_and_ps(_mm256_cmp_ps(least, _mm256_set1_ps(kFlushThreshold), _CMP_GE_OQ),
                      _mm256_cmp_ps(greatest, _mm256_set1_ps(kFlushCeiling), _CMP_LE_OQ));
    return _mm256_movemask_ps(kept) == 0xFF && !end.anyNaN();
  }

 private:
  Float8 least = _mm256_set1_ps(kFlushCeiling);
  Float8 greatest = _mm256_set1_ps(kFlushThreshold);
};
#endif

// The flush as a step's way of keeping a new state.
struct Flushing {
  Float8 keep(Float8 v) const { return flush8(v); }
  void note(const Bands&) {}
};

// One step of the eight band filters: returns y and advances z1 and z2, each new state kept by
// `keep`. As in the SSE2 kernel, a1 x + z2 is formed as z2 - a0 x, exactly the same value.
template <typename Keep>
Float8 filterStep(const Bands& c, Float8 x, Float8& z1, Float8& z2, Keep& keep) {
  const Float8 a0x = _mm256_mul_ps(c.a0, x);
  const Float8 fed = _mm256_sub_ps(z2, a0x);
  const Float8 y = _mm256_add_ps(a0x, z1);
  z1 = keep.keep(_mm256_sub_ps(fed, _mm256_mul_ps(c.b1, y)));
  z2 = keep.keep(_mm256_mul_ps(c.negB2, y));
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

// The two halves of one sample's step of the eight bands: the speech-side filter and its
// envelope, then the carrier-side filter and the product e * y_c * gain * kProductScale,
// multiplied from the left.
template <typename Keep>
Float8 envelopeStep(Bands& l, Float8 speech, const Coefficients& k, Keep& keep) {
  const Float8 ys = filterStep(l, speech, l.speechZ1, l.speechZ2, keep);
  const Float8 in0r = _mm256_mul_ps(k.envIn0, magnitude(ys));
  const Float8 e = _mm256_add_ps(in0r, l.envZ1);
  l.envZ1 = keep.keep(_mm256_sub_ps(in0r, _mm256_mul_ps(k.envFb, e)));
  return e;
}

template <typename Keep>
Float8 productStep(Bands& l, Float8 e, Float8 carrier, const Coefficients& k, Keep& keep) {
  const Float8 yc = filterStep(l, carrier, l.carrierZ1, l.carrierZ2, keep);
  return _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(e, yc), k.gain),
                       _mm256_set1_ps(kProductScale));
}

// One sample's whole step.
template <typename Keep>
Float8 bandStep(Bands& l, Float8 speech, Float8 carrier, const Coefficients& k, Keep& keep) {
  return productStep(l, envelopeStep(l, speech, k, keep), carrier, k, keep);
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

// Four floats widened to double precision. The empty statement hides the value from the
// compiler, which turns a product of two widened floats narrowed again into a float multiply
// where it sees one (it does in scalar code).
__m256d widened(__m128 v) {
  __m256d wide = _mm256_cvtps_pd(v);
  __asm__("" : "+x"(wide));
  return wide;
}

// Sums times gains, each product formed in double precision (band_kernel.h says why).
Float8 gated(Float8 sums, Float8 gains) {
  const __m128 low = _mm256_cvtpd_ps(_mm256_mul_pd(widened(_mm256_castps256_ps128(sums)),
                                                   widened(_mm256_castps256_ps128(gains))));
  const __m128 high = _mm256_cvtpd_ps(_mm256_mul_pd(widened(_mm256_extractf128_ps(sums, 1)),
                                                    widened(_mm256_extractf128_ps(gains, 1))));
  return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

// The products of `count` samples summed into `work`, times the gate's gains when there are any.
void sumProducts(const float* products, const float* gains, float* work, int32_t count) {
  int32_t i = 0;
  for (; i + kSumWidth <= count; i += kSumWidth) {
    Float8 sums = bandSums(products + kNumBands * i);
    if (gains != nullptr) sums = gated(sums, _mm256_loadu_ps(gains + i));
    _mm256_storeu_ps(work + i, sums);
  }
  for (; i < count; ++i) {
    const float s = bandSum(products + kNumBands * i);
    work[i] = gains != nullptr
                  ? _mm256_cvtss_f32(gated(_mm256_set1_ps(s), _mm256_set1_ps(gains[i])))
                  : s;
  }
}

// A slice's stretches for runStretches (stretch_runner.h): the bands, the slice and the
// products of the stretch in progress, eight to a sample in band order.
class WideStretches {
 public:
  WideStretches(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                float* work)
      : l{_mm256_loadu_ps(bands.b1),        _mm256_loadu_ps(bands.negB2),
          _mm256_loadu_ps(bands.a0),        _mm256_loadu_ps(bands.speechZ1),
          _mm256_loadu_ps(bands.speechZ2),  _mm256_loadu_ps(bands.carrierZ1),
          _mm256_loadu_ps(bands.carrierZ2), _mm256_loadu_ps(bands.envZ1)},
        k{_mm256_set1_ps(settings.envIn0), _mm256_set1_ps(settings.envFb),
          _mm256_set1_ps(settings.gain)},
        in(in),
        work(work) {}

  void store(BandLanes& bands) const {
    _mm256_storeu_ps(bands.speechZ1, l.speechZ1);
    _mm256_storeu_ps(bands.speechZ2, l.speechZ2);
    _mm256_storeu_ps(bands.carrierZ1, l.carrierZ1);
    _mm256_storeu_ps(bands.carrierZ2, l.carrierZ2);
    _mm256_storeu_ps(bands.envZ1, l.envZ1);
  }

  bool startsInRange() const {
    RangeWatch watch;
    watch.note(l);
    return watch.allKept(l);
  }

  bool runWatched(int32_t first, int32_t count) {
    const Bands start = l;
    RangeWatch watch;
    run(first, count, watch);
    if (watch.allKept(l)) return true;
    l = start;
    return false;
  }

  void runFlushing(int32_t first, int32_t count) {
    Flushing flushing;
    run(first, count, flushing);
  }

  void sum(int32_t first, int32_t count) {
    sumProducts(products, in.gateGains != nullptr ? in.gateGains + first : nullptr,
                work + first, count);
  }

 private:
  template <typename Keep>
  void run(int32_t first, int32_t count, Keep& keep) {
    // Lane 0 takes element 0 of the pair, every other lane element 1.
    const __m256i picks = _mm256_setr_epi32(0, 1, 1, 1, 1, 1, 1, 1);
    const float* speechPairs = in.speechPairs + 2 * first;
    const float* carrierPairs = in.carrierPairs + 2 * first;
    // Local copies, which the stores of the products cannot reach, so that they stay in
    // registers.
    Bands bands = l;
    const Coefficients weights = k;
    Keep kept = keep;
    float* out = products;
    for (int32_t i = 0; i < count; ++i) {
      _mm256_storeu_ps(out + kNumBands * i,
                       bandStep(bands, spread(speechPairs + 2 * i, picks),
                                spread(carrierPairs + 2 * i, picks), weights, kept));
      kept.note(bands);
    }
    l = bands;
    keep = kept;
  }

  Bands l;
  const Coefficients k;
  const SliceInputs& in;
  float* const work;
  float products[kKernelStretch * kNumBands];
};

// The kernel (band_kernel.h).
StretchCounts runWideBands(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                           float* work, int32_t n) {
  WideStretches stretches(bands, in, settings, work);
  const StretchCounts counts = runStretches(stretches, n);
  stretches.store(bands);
  return counts;
}

}  // namespace
