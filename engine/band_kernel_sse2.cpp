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
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include "engine/band_kernel.h"
#include "engine/float4.h"

namespace {

// Four bands in the lanes of SSE2 vectors: coefficients, then the five states.
struct Lanes {
  Float4 b1, negB2, a0;
  Float4 speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;
};

struct Coefficients {
  Float4 envIn0, envFb, gain;
};

// One step of four band filters: returns y and advances z1 and z2.
inline Float4 filterStep(const Lanes& c, Float4 x, Float4& z1, Float4& z2) {
  const Float4 a0x = _mm_mul_ps(c.a0, x);
  const Float4 fed = _mm_sub_ps(z2, a0x);
  const Float4 y = _mm_add_ps(a0x, z1);
  z1 = flush4(_mm_sub_ps(fed, _mm_mul_ps(c.b1, y)));
  z2 = flush4(_mm_mul_ps(c.negB2, y));
  return y;
}

// One sample step of four bands: the speech-side filter, its envelope, the carrier-side filter
// and the product e * y_c * gain * kProductScale, multiplied from the left.
inline Float4 bandStep(Lanes& l, Float4 speech, Float4 carrier, const Coefficients& k) {
  const Float4 ys = filterStep(l, speech, l.speechZ1, l.speechZ2);
  const Float4 r = abs4(ys);
  const Float4 in0r = _mm_mul_ps(k.envIn0, r);
  const Float4 e = _mm_add_ps(in0r, l.envZ1);
  l.envZ1 = flush4(_mm_sub_ps(in0r, _mm_mul_ps(k.envFb, e)));
  const Float4 yc = filterStep(l, carrier, l.carrierZ1, l.carrierZ2);
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
template <int kSpread>
inline void groupStep(Lanes& l, Float4 speechPair, Float4 carrierPair, float* products,
                      const Coefficients& k) {
  _mm_store_ps(products, bandStep(l, _mm_shuffle_ps(speechPair, speechPair, kSpread),
                                  _mm_shuffle_ps(carrierPair, carrierPair, kSpread), k));
}

// Four bands over `count` samples; each sample's four products go to products[8 i] onwards.
template <int kSpread>
inline void runGroup(Lanes& l, const float* speechPairs, const float* carrierPairs,
                     float* products, int32_t count, const Coefficients& k) {
  for (int32_t i = 0; i < count; ++i)
    groupStep<kSpread>(l, loadPair(speechPairs + 2 * i), loadPair(carrierPairs + 2 * i),
                       products + 8 * i, k);
}

// Both groups in one loop: each sample step is a chain of dependent operations from one state to
// the next, and two independent chains keep the processor busy while it waits on either. That
// needs the state vectors in registers: with sixteen of them (64-bit code) it is the faster way;
// with eight (32-bit code) the states would be stored and loaded at every step, and one group
// after the other is faster.
constexpr bool kBothGroupsAtOnce = sizeof(void*) == 8;

inline void runGroups(Lanes& low, Lanes& high, const float* speechPairs,
                      const float* carrierPairs, float* products, int32_t count,
                      const Coefficients& k) {
  for (int32_t i = 0; i < count; ++i) {
    const Float4 speech = loadPair(speechPairs + 2 * i);
    const Float4 carrier = loadPair(carrierPairs + 2 * i);
    groupStep<kBands1To4>(low, speech, carrier, products + 8 * i, k);
    groupStep<kBands5To8>(high, speech, carrier, products + 8 * i + 4, k);
  }
}

// Band 1 stores, bands 2 to 8 add in turn.
inline float bandSum(const float* p) {
  float sum = p[0] + p[1];
  sum += p[2];
  sum += p[3];
  sum += p[4];
  sum += p[5];
  sum += p[6];
  sum += p[7];
  return sum;
}

void sum(const float* products, float* work, int32_t n) {
  for (int32_t i = 0; i < n; ++i) work[i] = bandSum(products + 8 * i);
}

void sumGated(const float* products, const float* gains, float* work, int32_t n) {
  for (int32_t i = 0; i < n; ++i) work[i] = bandSum(products + 8 * i) * gains[i];
}

}  // namespace

void runBandsSse2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                  float* work, int32_t n) {
  // The arrays hold bands 1 to 4 from index 0 and bands 5 to 8 from index 4.
  auto load = [&bands](int32_t first) {
    return Lanes{_mm_loadu_ps(bands.b1 + first),        _mm_loadu_ps(bands.negB2 + first),
                 _mm_loadu_ps(bands.a0 + first),        _mm_loadu_ps(bands.speechZ1 + first),
                 _mm_loadu_ps(bands.speechZ2 + first),  _mm_loadu_ps(bands.carrierZ1 + first),
                 _mm_loadu_ps(bands.carrierZ2 + first), _mm_loadu_ps(bands.envZ1 + first)};
  };
  auto store = [&bands](const Lanes& l, int32_t first) {
    _mm_storeu_ps(bands.speechZ1 + first, l.speechZ1);
    _mm_storeu_ps(bands.speechZ2 + first, l.speechZ2);
    _mm_storeu_ps(bands.carrierZ1 + first, l.carrierZ1);
    _mm_storeu_ps(bands.carrierZ2 + first, l.carrierZ2);
    _mm_storeu_ps(bands.envZ1 + first, l.envZ1);
  };

  Lanes low = load(0), high = load(4);
  const Coefficients k = {_mm_set1_ps(settings.envIn0), _mm_set1_ps(settings.envFb),
                          _mm_set1_ps(settings.gain)};
  // The products of a stretch of samples, eight to a sample in band order, then their sums.
  alignas(16) float products[kKernelStretch * kNumBands];

  for (int32_t first = 0; first < n; first += kKernelStretch) {
    const int32_t count = n - first < kKernelStretch ? n - first : kKernelStretch;
    const float* speechPairs = in.speechPairs + 2 * first;
    const float* carrierPairs = in.carrierPairs + 2 * first;
    if (kBothGroupsAtOnce) {
      runGroups(low, high, speechPairs, carrierPairs, products, count, k);
    } else {
      runGroup<kBands1To4>(low, speechPairs, carrierPairs, products, count, k);
      runGroup<kBands5To8>(high, speechPairs, carrierPairs, products + 4, count, k);
    }
    if (in.gateGains != nullptr)
      sumGated(products, in.gateGains + first, work + first, count);
    else
      sum(products, work + first, count);
  }

  store(low, 0);
  store(high, 4);
}
