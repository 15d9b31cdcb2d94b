#pragma once
// Helpers for looking into the vocoder from outside: a subclass of the effect that records the
// values its setParameter receives (which is how setProgram reveals a program's stored values),
// copies of the core's band records, and a few blocks of noise that leave the band and gate
// states non-zero.

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/band_filter.h"
#include "engine/channel_vocoder.h"
#include "engine/same_bits.h"
#include "vst/vocoder.h"

class ProbeVocoder : public Vocoder {
 public:
  explicit ProbeVocoder(audioMasterCallback audioMaster = nullptr) : Vocoder(audioMaster) {}

  void setParameter(int32_t index, float value) override {
    received.emplace_back(index, value);
    Vocoder::setParameter(index, value);
  }

  // The stored values of `program`, read by loading it (which makes it current).
  std::vector<float> loadProgram(int32_t program) {
    received.clear();
    setProgram(program);
    std::vector<float> values;
    for (const auto& call : received) values.push_back(call.second);
    received.clear();
    return values;
  }

  std::vector<std::pair<int32_t, float>> received;
};

// The nine values of one band record, as plain floats.
struct BandValues {
  float b1, b2, a0, a1, speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;

  bool sameCoefficients(const BandValues& o) const {
    return sameBits(b1, o.b1) && sameBits(b2, o.b2) && sameBits(a0, o.a0) && sameBits(a1, o.a1);
  }
  bool sameState(const BandValues& o) const {
    return sameBits(speechZ1, o.speechZ1) && sameBits(speechZ2, o.speechZ2) &&
           sameBits(carrierZ1, o.carrierZ1) && sameBits(carrierZ2, o.carrierZ2) &&
           sameBits(envZ1, o.envZ1);
  }
  bool stateIsZero() const {
    return speechZ1 == 0.0f && speechZ2 == 0.0f && carrierZ1 == 0.0f && carrierZ2 == 0.0f &&
           envZ1 == 0.0f;
  }
};

inline BandValues valuesOf(const BandFilter& r) {
  return {r.b1, r.b2, r.a0, r.a1, r.speechZ1, r.speechZ2, r.carrierZ1, r.carrierZ2, r.envZ1};
}

inline BandValues bandOf(const ChannelVocoder& vocoder, int32_t band) {
  BandFilter record;
  vocoder.getBand(band, record);
  return valuesOf(record);
}

inline std::vector<BandValues> allBands(const ChannelVocoder& vocoder) {
  std::vector<BandValues> bands;
  for (int32_t band = 1; band <= kNumBands; ++band) bands.push_back(bandOf(vocoder, band));
  return bands;
}

// Runs `frames` samples of two different noise signals through the effect, so that band,
// envelope and gate states move away from their initial values.
inline void runNoise(ChannelVocoder& vocoder, int32_t frames) {
  std::vector<float> a(static_cast<size_t>(frames)), b(a.size()), out1(a.size()), out2(a.size());
  uint32_t seed = 12345;
  for (size_t i = 0; i < a.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    a[i] = static_cast<float>(static_cast<int32_t>(seed >> 8) - (1 << 23)) / (1 << 23);
    seed = seed * 1664525u + 1013904223u;
    b[i] = static_cast<float>(static_cast<int32_t>(seed >> 8) - (1 << 23)) / (1 << 23);
  }
  vocoder.process(a.data(), b.data(), out1.data(), out2.data(), frames);
}
