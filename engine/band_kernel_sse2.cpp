// The SSE2 band kernel, which every processor runs: the eight bands of one slice side by side.
// Bands 1 to 4 fill the four lanes of one SSE2 vector and bands 5 to 8 those of another, so that
// one step advances every band by one sample. Each lane does what one band does in the
// band-by-band form (band_kernel.h), operation for operation, and the lanes' products are summed
// in band order, band 1 first.
//
// Two products are formed once and used twice. The tuning always makes a1 exactly -a0, so the
// feed-forward sum a1 x + z2 is exactly z2 - a0 x; and the envelope smoother's two input weights
// are one value, so envIn1 r is exactly envIn0 r.
//
// It runs its stretches speculatively (stretch_runner.h), which takes the four
// operations of the flush off the chain of dependent operations from one state to the next.
//
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include "engine/band_kernel.h"
#include "engine/float4.h"
#include "engine/stretch_runner.h"

namespace {

// Four bands in the lanes of SSE2 vectors: coefficients, then the five states.
struct Lanes {
  Float4 b1, negB2, a0;
  Float4 speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;
};

struct Coefficients {
  Float4 envIn0, envFb, gain;
};

// A step keeps each new state through a policy: Flushing flushes it; RangeWatch, what a
// speculative stretch (stretch_runner.h) does instead, keeps it as it is, and notes after
// each step whether the five states it left lie in the flush's range.
//
// Both read the shift of the flush's range key (flush.h) from memory at every use. Held in a
// register, as the compiler would hold it, the shift pushes a state out of the eight registers
// of 32-bit code into memory, on the chain of dependent operations from one step to the next.
alignas(16) constexpr int32_t kKeyShifts[4] = {flush_bits::kKeyShift, flush_bits::kKeyShift,
                                               flush_bits::kKeyShift, flush_bits::kKeyShift};

inline __m128i stateKey(Float4 v) {
  __m128i key = _mm_castps_si128(v);
  __asm__("paddd %0, %0\n\tpaddd %1, %0" : "+x"(key) : "m"(kKeyShifts));
  return key;
}

struct Flushing {
  static constexpr bool kWatches = false;
  Float4 keep(Float4 v) const {
    const __m128i kept = _mm_cmpgt_epi32(stateKey(v), _mm_set1_epi32(flush_bits::kKeptAbove));
    return _mm_and_ps(_mm_castsi128_ps(kept), v);
  }
  void note(const Lanes&) {}
};

// The running minimum of the flush's keys (flush.h), three operations per state. SSE2 has no
// minimum of 32-bit integers, so the minimum is kept of their upper 16 bits, whose minimum is
// that of the minimum key. A minimum above that of kKeptAbove means every key was above
// kKeptAbove; one equal to it may or may not, and counts as out of range (only the keys of
// magnitudes within 0.2 % above the threshold land there).
class RangeWatch {
 public:
  static constexpr bool kWatches = true;
  Float4 keep(Float4 v) const { return v; }
  void note(const Lanes& l) {
    const __m128i speech = _mm_min_epi16(stateKey(l.speechZ1), stateKey(l.speechZ2));
    const __m128i carrier = _mm_min_epi16(stateKey(l.carrierZ1), stateKey(l.carrierZ2));
    const __m128i step = _mm_min_epi16(_mm_min_epi16(speech, carrier), stateKey(l.envZ1));
    lowest = _mm_min_epi16(lowest, step);
  }
  bool allKept() const {
    const __m128i kept = _mm_cmpgt_epi32(_mm_srai_epi32(lowest, 16),
                                         _mm_set1_epi32(flush_bits::kKeptAbove >> 16));
    return _mm_movemask_ps(_mm_castsi128_ps(kept)) == 0xF;
  }

 private:
  __m128i lowest = _mm_set1_epi32(INT32_MAX);
};

// One step of four band filters: returns y and advances z1 and z2, each new state kept by
// `keep`.
template <typename Keep>
inline Float4 filterStep(const Lanes& c, Float4 x, Float4& z1, Float4& z2, Keep& keep) {
  const Float4 a0x = _mm_mul_ps(c.a0, x);
  const Float4 fed = _mm_sub_ps(z2, a0x);
  const Float4 y = _mm_add_ps(a0x, z1);
  z1 = keep.keep(_mm_sub_ps(fed, _mm_mul_ps(c.b1, y)));
  z2 = keep.keep(_mm_mul_ps(c.negB2, y));
  return y;
}

// One sample step of four bands: the speech-side filter, its envelope, the carrier-side filter
// and the product e * y_c * gain * kProductScale, multiplied from the left.
template <typename Keep>
inline Float4 bandStep(Lanes& l, Float4 speech, Float4 carrier, const Coefficients& k,
                       Keep& keep) {
  const Float4 ys = filterStep(l, speech, l.speechZ1, l.speechZ2, keep);
  const Float4 r = abs4(ys);
  const Float4 in0r = _mm_mul_ps(k.envIn0, r);
  const Float4 e = _mm_add_ps(in0r, l.envZ1);
  l.envZ1 = keep.keep(_mm_sub_ps(in0r, _mm_mul_ps(k.envFb, e)));
  const Float4 yc = filterStep(l, carrier, l.carrierZ1, l.carrierZ2, keep);
  return _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(e, yc), k.gain), _mm_set1_ps(kProductScale));
}

// Each sample's pair (band 1's input, the others') is spread over the four lanes of a group:
// (band 1's, others', others', others') for bands 1 to 4, four times the others' for 5 to 8.
constexpr int kBands1To4 = _MM_SHUFFLE(1, 1, 1, 0);
constexpr int kBands5To8 = _MM_SHUFFLE(1, 1, 1, 1);

// Two floats into the low lanes.
inline Float4 loadPair(const float* p) {
  return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// One sample of four bands from the sample's two pairs; the four products go to `products`.
template <int kSpread, typename Keep>
inline void groupStep(Lanes& l, Float4 speechPair, Float4 carrierPair, float* products,
                      const Coefficients& k, Keep& keep) {
  _mm_store_ps(products, bandStep(l, _mm_shuffle_ps(speechPair, speechPair, kSpread),
                                  _mm_shuffle_ps(carrierPair, carrierPair, kSpread), k, keep));
}

// Both groups in one loop: each sample step is a chain of dependent operations from one state to
// the next, and two independent chains keep the processor busy while it waits on either. With
// sixteen vector registers (64-bit code) the states of both stay in registers and it is always
// the faster way. With eight (32-bit code) the states are stored and loaded at every step: a
// speculative stretch, whose chains are short, then runs faster one group after the other, a
// flushing one, whose chains the flush lengthens, still faster with both at once.
template <typename Keep>
constexpr bool bothGroupsAtOnce() {
  return kSixteenVectorRegisters || !Keep::kWatches;
}

// The four products of one sample, turned round: the vectors hold one band of four samples each,
// band 1 in `band[0]`.
inline void transpose(const float* products, Float4 band[4]) {
  band[0] = _mm_load_ps(products);
  band[1] = _mm_load_ps(products + kNumBands);
  band[2] = _mm_load_ps(products + 2 * kNumBands);
  band[3] = _mm_load_ps(products + 3 * kNumBands);
  _MM_TRANSPOSE4_PS(band[0], band[1], band[2], band[3]);
}

// The band sums of four samples, one to a lane: band 1 and band 2 are added, then bands 3 to 8
// in turn, as one sample's sum does.
inline Float4 bandSums(const float* products) {
  Float4 low[4], high[4];
  transpose(products, low);
  transpose(products + 4, high);
  Float4 sum = _mm_add_ps(low[0], low[1]);
  sum = _mm_add_ps(_mm_add_ps(sum, low[2]), low[3]);
  sum = _mm_add_ps(_mm_add_ps(sum, high[0]), high[1]);
  return _mm_add_ps(_mm_add_ps(sum, high[2]), high[3]);
}

// One sample's band sum, band 1 first.
inline float bandSum(const float* p) {
  float sum = p[0] + p[1];
  for (int32_t band = 2; band < kNumBands; ++band) sum += p[band];
  return sum;
}

// Two floats widened to double precision. The empty statement hides the value from the
// compiler, which turns a product of two widened floats narrowed again into a float multiply
// where it sees one (it does in scalar code).
inline __m128d widened(Float4 v) {
  __m128d wide = _mm_cvtps_pd(v);
  __asm__("" : "+x"(wide));
  return wide;
}

// Sums times gains, each product formed in double precision (band_kernel.h says why).
inline Float4 gated(Float4 sums, Float4 gains) {
  const Float4 low = _mm_cvtpd_ps(_mm_mul_pd(widened(sums), widened(gains)));
  const Float4 high = _mm_cvtpd_ps(
      _mm_mul_pd(widened(_mm_movehl_ps(sums, sums)), widened(_mm_movehl_ps(gains, gains))));
  return _mm_movelh_ps(low, high);
}

// A slice's stretches for runStretches (stretch_runner.h): the two groups of bands, the
// slice and the products of the stretch in progress, eight to a sample in band order.
class Sse2Stretches {
 public:
  Sse2Stretches(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                float* work)
      : low(load(bands, 0)),
        high(load(bands, 4)),
        k{_mm_set1_ps(settings.envIn0), _mm_set1_ps(settings.envFb), _mm_set1_ps(settings.gain)},
        in(in),
        work(work) {}

  // The arrays hold bands 1 to 4 from index 0 and bands 5 to 8 from index 4.
  void store(BandLanes& bands) const {
    store(bands, low, 0);
    store(bands, high, 4);
  }

  bool startsInRange() const {
    RangeWatch watch;
    watch.note(low);
    watch.note(high);
    return watch.allKept();
  }

  bool runWatched(int32_t first, int32_t count) {
    const Lanes lowStart = low, highStart = high;
    RangeWatch watch;
    run(first, count, watch);
    if (watch.allKept()) return true;
    low = lowStart;
    high = highStart;
    return false;
  }

  void runFlushing(int32_t first, int32_t count) {
    Flushing flushing;
    run(first, count, flushing);
  }

  void sum(int32_t first, int32_t count) {
    const float* gains = in.gateGains != nullptr ? in.gateGains + first : nullptr;
    float* out = work + first;
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
      Float4 sums = bandSums(products + kNumBands * i);
      if (gains != nullptr) sums = gated(sums, _mm_loadu_ps(gains + i));
      _mm_storeu_ps(out + i, sums);
    }
    for (; i < count; ++i) {
      const float s = bandSum(products + kNumBands * i);
      out[i] = gains != nullptr ? _mm_cvtss_f32(gated(_mm_set_ss(s), _mm_set_ss(gains[i]))) : s;
    }
  }

 private:
  static Lanes load(const BandLanes& bands, int32_t first) {
    return Lanes{_mm_loadu_ps(bands.b1 + first),        _mm_loadu_ps(bands.negB2 + first),
                 _mm_loadu_ps(bands.a0 + first),        _mm_loadu_ps(bands.speechZ1 + first),
                 _mm_loadu_ps(bands.speechZ2 + first),  _mm_loadu_ps(bands.carrierZ1 + first),
                 _mm_loadu_ps(bands.carrierZ2 + first), _mm_loadu_ps(bands.envZ1 + first)};
  }

  static void store(BandLanes& bands, const Lanes& l, int32_t first) {
    _mm_storeu_ps(bands.speechZ1 + first, l.speechZ1);
    _mm_storeu_ps(bands.speechZ2 + first, l.speechZ2);
    _mm_storeu_ps(bands.carrierZ1 + first, l.carrierZ1);
    _mm_storeu_ps(bands.carrierZ2 + first, l.carrierZ2);
    _mm_storeu_ps(bands.envZ1 + first, l.envZ1);
  }

  // The groups, the coefficients and the watch run as local copies, which the stores of the
  // products cannot reach, so that they stay in registers.
  template <typename Keep>
  void run(int32_t first, int32_t count, Keep& keep) {
    const float* speechPairs = in.speechPairs + 2 * first;
    const float* carrierPairs = in.carrierPairs + 2 * first;
    const Coefficients weights = k;
    Keep kept = keep;
    float* out = products;
    if (bothGroupsAtOnce<Keep>()) {
      Lanes l = low, h = high;
      for (int32_t i = 0; i < count; ++i) {
        const Float4 speech = loadPair(speechPairs + 2 * i);
        const Float4 carrier = loadPair(carrierPairs + 2 * i);
        groupStep<kBands1To4>(l, speech, carrier, out + kNumBands * i, weights, kept);
        groupStep<kBands5To8>(h, speech, carrier, out + kNumBands * i + 4, weights, kept);
        kept.note(l);
        kept.note(h);
      }
      low = l;
      high = h;
    } else {
      runGroup<kBands1To4>(low, speechPairs, carrierPairs, out, count, weights, kept);
      runGroup<kBands5To8>(high, speechPairs, carrierPairs, out + 4, count, weights, kept);
    }
    keep = kept;
  }

  // Four bands over `count` samples; each sample's four products go to `out`[8 i] onwards.
  template <int kSpread, typename Keep>
  static void runGroup(Lanes& group, const float* speechPairs, const float* carrierPairs,
                       float* out, int32_t count, const Coefficients& k, Keep& keep) {
    Lanes l = group;
    Keep kept = keep;
    for (int32_t i = 0; i < count; ++i) {
      groupStep<kSpread>(l, loadPair(speechPairs + 2 * i), loadPair(carrierPairs + 2 * i),
                         out + kNumBands * i, k, kept);
      kept.note(l);
    }
    group = l;
    keep = kept;
  }

  Lanes low, high;
  const Coefficients k;
  const SliceInputs& in;
  float* const work;
  alignas(16) float products[kKernelStretch * kNumBands];
};

}  // namespace

StretchCounts runBandsSse2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                           float* work, int32_t n) {
  Sse2Stretches stretches(bands, in, settings, work);
  const StretchCounts counts = runStretches(stretches, n);
  stretches.store(bands);
  return counts;
}
