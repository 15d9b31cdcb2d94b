#include "engine/parallel_bands.h"

#include <cstring>

namespace {

constexpr float kProductScale = 500.0f;
constexpr int32_t kStretch = 64;  // samples whose products are summed together

// The kernel has two forms. The tuning always writes a1 as -a0 and the envelope smoother's
// two input weights as one value; then a1 x is exactly -(a0 x), so the feed-forward sum
// a1 x + z2 is exactly z2 - a0 x, and envIn1 r is exactly envIn0 r: one product serves both
// terms each time. A retuning on another thread may be half done when a slice copies the
// values, and then the general form runs, with every product formed as written.
struct Coefficients {
  Float4 envIn0, envIn1, envFb, gain;
};

// One step of four band filters: returns y and advances z1 and z2.
template <bool kTuned>
inline Float4 filterStep(const ParallelBands::Lanes& c, Float4 x, Float4& z1, Float4& z2) {
  const Float4 a0x = _mm_mul_ps(c.a0, x);
  const Float4 fed = kTuned ? _mm_sub_ps(z2, a0x) : _mm_add_ps(_mm_mul_ps(c.a1, x), z2);
  const Float4 y = _mm_add_ps(a0x, z1);
  z1 = flush4(_mm_sub_ps(fed, _mm_mul_ps(c.b1, y)));
  z2 = flush4(_mm_mul_ps(c.negB2, y));
  return y;
}

// One sample step of four bands: the speech-side filter, its envelope, the carrier-side filter
// and the product e * y_c * gain * 500, multiplied from the left as the band pass does.
template <bool kTuned>
inline Float4 bandStep(ParallelBands::Lanes& l, Float4 speech, Float4 carrier,
                       const Coefficients& k) {
  const Float4 ys = filterStep<kTuned>(l, speech, l.speechZ1, l.speechZ2);
  const Float4 r = abs4(ys);
  const Float4 in0r = _mm_mul_ps(k.envIn0, r);
  const Float4 in1r = kTuned ? in0r : _mm_mul_ps(k.envIn1, r);
  const Float4 e = _mm_add_ps(in0r, l.envZ1);
  l.envZ1 = flush4(_mm_sub_ps(in1r, _mm_mul_ps(k.envFb, e)));
  const Float4 yc = filterStep<kTuned>(l, carrier, l.carrierZ1, l.carrierZ2);
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
template <bool kTuned, int kSpread>
inline void groupStep(ParallelBands::Lanes& l, Float4 speechPair, Float4 carrierPair,
                      float* products, const Coefficients& k) {
  _mm_store_ps(products, bandStep<kTuned>(l, _mm_shuffle_ps(speechPair, speechPair, kSpread),
                                          _mm_shuffle_ps(carrierPair, carrierPair, kSpread), k));
}

// Four bands over `count` samples; each sample's four products go to products[8 i] onwards.
template <bool kTuned, int kSpread>
inline void runGroup(ParallelBands::Lanes& l, const float* speechPairs, const float* carrierPairs,
                     float* products, int32_t count, const Coefficients& k) {
  for (int32_t i = 0; i < count; ++i)
    groupStep<kTuned, kSpread>(l, loadPair(speechPairs + 2 * i), loadPair(carrierPairs + 2 * i),
                               products + 8 * i, k);
}

// Both groups in one loop: each sample step is a chain of dependent operations from one state to
// the next, and two independent chains keep the processor busy while it waits on either. That
// needs the ten state vectors in registers: with sixteen of them (64-bit code) it is the faster
// way; with eight (32-bit code) the states would be stored and loaded at every step, and one
// group after the other is faster.
constexpr bool kBothGroupsAtOnce = sizeof(void*) == 8;

template <bool kTuned>
inline void runGroups(ParallelBands::Lanes& low, ParallelBands::Lanes& high,
                      const float* speechPairs, const float* carrierPairs, float* products,
                      int32_t count, const Coefficients& k) {
  for (int32_t i = 0; i < count; ++i) {
    const Float4 speech = loadPair(speechPairs + 2 * i);
    const Float4 carrier = loadPair(carrierPairs + 2 * i);
    groupStep<kTuned, kBands1To4>(low, speech, carrier, products + 8 * i, k);
    groupStep<kTuned, kBands5To8>(high, speech, carrier, products + 8 * i + 4, k);
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

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool isExactNegation(float a, float b) {
  uint32_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return (x ^ y) == 0x80000000u;
}

}  // namespace

ParallelBands::ParallelBands(const BandFilterBank& bank) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter record;
    bank.getBand(band, record);
    setRecord(band, record);
  }
}

void ParallelBands::setRecord(int32_t band, const BandFilter& record) {
  if (band < 1 || band > kNumBands) return;
  const int32_t lane = band - 1;
  b1[lane] = record.b1;
  negB2[lane] = -record.b2;
  a0[lane] = record.a0;
  a1[lane] = record.a1;
  speechZ1[lane] = record.speechZ1;
  speechZ2[lane] = record.speechZ2;
  carrierZ1[lane] = record.carrierZ1;
  carrierZ2[lane] = record.carrierZ2;
  envZ1[lane] = record.envZ1;
}

void ParallelBands::storeStates(BandFilterBank& bank) const {
  for (int32_t lane = 0; lane < kNumBands; ++lane)
    bank.setState(lane + 1, speechZ1[lane], speechZ2[lane], carrierZ1[lane], carrierZ2[lane],
                  envZ1[lane]);
}

void ParallelBands::run(const SliceInputs& in, const SliceSettings& settings, float* work,
                        int32_t n) {
  bool tuned = sameBits(settings.envIn0, settings.envIn1);
  for (int32_t lane = 0; lane < kNumBands; ++lane)
    tuned = tuned && isExactNegation(a0[lane], a1[lane]);
  if (tuned)
    runLanes<true>(in, settings, work, n);
  else
    runLanes<false>(in, settings, work, n);
}

ParallelBands::Lanes ParallelBands::lanes(int32_t first) const {
  Lanes l;
  l.b1 = _mm_load_ps(b1 + first);
  l.negB2 = _mm_load_ps(negB2 + first);
  l.a0 = _mm_load_ps(a0 + first);
  l.a1 = _mm_load_ps(a1 + first);
  l.speechZ1 = _mm_load_ps(speechZ1 + first);
  l.speechZ2 = _mm_load_ps(speechZ2 + first);
  l.carrierZ1 = _mm_load_ps(carrierZ1 + first);
  l.carrierZ2 = _mm_load_ps(carrierZ2 + first);
  l.envZ1 = _mm_load_ps(envZ1 + first);
  return l;
}

void ParallelBands::storeLanes(const Lanes& l, int32_t first) {
  _mm_store_ps(speechZ1 + first, l.speechZ1);
  _mm_store_ps(speechZ2 + first, l.speechZ2);
  _mm_store_ps(carrierZ1 + first, l.carrierZ1);
  _mm_store_ps(carrierZ2 + first, l.carrierZ2);
  _mm_store_ps(envZ1 + first, l.envZ1);
}

template <bool kTuned>
void ParallelBands::runLanes(const SliceInputs& in, const SliceSettings& settings, float* work,
                             int32_t n) {
  Lanes low = lanes(0), high = lanes(4);
  const Coefficients k = {_mm_set1_ps(settings.envIn0), _mm_set1_ps(settings.envIn1),
                          _mm_set1_ps(settings.envFb), _mm_set1_ps(settings.gain)};
  // The products of a stretch of samples, eight to a sample in band order, then their sums.
  alignas(16) float products[kStretch * 8];

  for (int32_t first = 0; first < n; first += kStretch) {
    const int32_t count = n - first < kStretch ? n - first : kStretch;
    const float* speechPairs = in.speechPairs + 2 * first;
    const float* carrierPairs = in.carrierPairs + 2 * first;
    if (kBothGroupsAtOnce) {
      runGroups<kTuned>(low, high, speechPairs, carrierPairs, products, count, k);
    } else {
      runGroup<kTuned, kBands1To4>(low, speechPairs, carrierPairs, products, count, k);
      runGroup<kTuned, kBands5To8>(high, speechPairs, carrierPairs, products + 4, count, k);
    }
    if (in.gateGains != nullptr)
      sumGated(products, in.gateGains + first, work + first, count);
    else
      sum(products, work + first, count);
  }

  storeLanes(low, 0);
  storeLanes(high, 4);
}
