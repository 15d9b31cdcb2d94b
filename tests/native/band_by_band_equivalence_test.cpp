// The plug-in runs its eight bands side by side in one of its band kernels; each must compute
// exactly what running them one after another computes (tests/fixtures/band_by_band_vocoder.h):
// the same output samples, the same samples written back to the inputs and the same states, bit
// for bit, over long sessions of varied signals, parameter changes, block sizes and buffer
// arrangements. Every kernel the processor runs is pinned in turn.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/band_kernel_choice.h"
#include "engine/channel_vocoder.h"
#include "engine/float4.h"
#include "engine/same_bits.h"
#include "tests/fixtures/band_by_band_vocoder.h"
#include "tests/fixtures/equivalence_session.h"
#include "tests/fixtures/test_signals.h"

namespace {

uint32_t bits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

float fromBits(uint32_t b) {
  float v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

// Every state of the plug-in against the model's, bit for bit.
std::string compareStates(const ChannelVocoder& plugin, const reference::BandByBandVocoder& model) {
  for (int32_t b = 1; b <= kNumBands; ++b) {
    BandFilter record;
    plugin.getBand(b, record);
    const reference::Band& m = model.band(b);
    const float plug[5] = {record.speechZ1, record.speechZ2, record.carrierZ1, record.carrierZ2,
                           record.envZ1};
    const float plain[5] = {m.speechZ1, m.speechZ2, m.carrierZ1, m.carrierZ2, m.envZ1};
    static const char* const names[5] = {"speechZ1", "speechZ2", "carrierZ1", "carrierZ2",
                                         "envZ1"};
    for (int i = 0; i < 5; ++i) {
      if (!sameBits(plug[i], plain[i]))
        return "band " + std::to_string(b) + " " + names[i] + " is " + std::to_string(plug[i]) +
               ", the band-by-band form gives " + std::to_string(plain[i]);
    }
  }
  const reference::Gate& g = model.gate();
  if (!sameBits(plugin.gate().smootherState(), g.z) || plugin.gate().countdown() != g.countdown ||
      plugin.gate().isOn() != (g.on == 1))
    return "the chopper gate's state differs";
  return "";
}

// Bit patterns of every kind of value: around zero, the threshold, the ceiling, the largest
// finite value and infinity, both signs; NaNs; random patterns.
std::vector<uint32_t> edgeAndRandomPatterns() {
  std::vector<uint32_t> patterns;
  // Around zero, the threshold, the ceiling, the largest finite value and infinity, both signs.
  for (float edge : {0.0f, kFlushThreshold, kFlushCeiling, std::numeric_limits<float>::max(),
                     std::numeric_limits<float>::infinity()}) {
    for (int32_t d = -3; d <= 3; ++d) {
      const uint32_t b = bits(edge) + static_cast<uint32_t>(d);
      patterns.push_back(b);
      patterns.push_back(b | 0x80000000u);
    }
  }
  for (uint32_t nan : {0x7FC00000u, 0x7F800001u, 0xFFC00000u, 0x7FFFFFFFu}) patterns.push_back(nan);
  signals::Random random(7);
  for (int i = 0; i < 200000; ++i) patterns.push_back(random.next());
  return patterns;
}

TEST(Float4Rules, FlushAndFiniteCheckMatchTheScalarRulesOnEveryKindOfValue) {
  const std::vector<uint32_t> patterns = edgeAndRandomPatterns();
  for (size_t i = 0; i + 4 <= patterns.size(); i += 4) {
    alignas(16) float in[4], flushed[4], finite[4];
    for (int lane = 0; lane < 4; ++lane) in[lane] = fromBits(patterns[i + lane]);
    _mm_store_ps(flushed, flush4(_mm_load_ps(in)));
    _mm_store_ps(finite, finiteOrZero4(_mm_load_ps(in)));
    for (int lane = 0; lane < 4; ++lane) {
      ASSERT_TRUE(sameBits(flush(in[lane]), flushed[lane])) << "flush of pattern " << std::hex
                                                        << patterns[i + lane];
      ASSERT_TRUE(sameBits(finiteOrZero(in[lane]), finite[lane]))
          << "finite check of pattern " << std::hex << patterns[i + lane];
    }
  }
}

// The kernels this processor runs; says which it cannot, so that a run without them is seen.
std::vector<BandKernelKind> kernelsHere() {
  std::vector<BandKernelKind> kernels;
  for (BandKernelKind kind : kAllBandKernels) {
    if (processorRuns(kind))
      kernels.push_back(kind);
    else
      std::printf("  the %s kernel is not tested: this processor or system does not run it\n",
                  bandKernelName(kind));
  }
  return kernels;
}

// Each kernel's flush against the scalar rule, lane by lane: with a0 = b1 = 0, -b2 = 1 and silent
// inputs, one step leaves the carrier side's z2 = flush(z1); with the speech side at rest,
// envIn0 = 0 and envFb = -1 it leaves envZ1 = flush(envZ1).
TEST(KernelRules, EveryKernelFlushesEveryKindOfValueAsTheScalarRule) {
  const std::vector<uint32_t> patterns = edgeAndRandomPatterns();
  const float silence[2] = {0.0f, 0.0f};
  const SliceInputs in = {silence, silence, nullptr};
  const SliceSettings settings = {1.0f, 0.0f, -1.0f};
  for (BandKernelKind kernel : kernelsHere()) {
    for (size_t i = 0; i + kNumBands <= patterns.size(); i += kNumBands) {
      BandLanes bands = {};
      for (int32_t lane = 0; lane < kNumBands; ++lane) {
        bands.negB2[lane] = 1.0f;
        bands.carrierZ1[lane] = fromBits(patterns[i + lane]);
        bands.envZ1[lane] = fromBits(patterns[i + lane]);
      }
      float sum;
      bandKernelFor(kernel)(bands, in, settings, &sum, 1);
      for (int32_t lane = 0; lane < kNumBands; ++lane) {
        const float expected = flush(fromBits(patterns[i + lane]));
        ASSERT_TRUE(sameBits(expected, bands.carrierZ2[lane]) && sameBits(expected, bands.envZ1[lane]))
            << bandKernelName(kernel) << " kernel, flush of pattern " << std::hex
            << patterns[i + lane];
      }
    }
  }
}

// A speculative stretch must fall back just where the flush would change a state: a state that
// steps onto either side of the threshold or the ceiling, both signs, 1 to 2^18 units in the
// last place away, in one band while the others stay well inside the range. With a0 = b1 = 0 and
// -b2 = 1 each filter swaps its two states (1.0); with envIn0 = 0 and envFb = -2^k the
// envelope's state is scaled exactly onto the value.
TEST(KernelRules, EveryKernelFallsBackJustWhereTheFlushWouldChangeAState) {
  const float silence[2] = {0.0f, 0.0f};
  const SliceInputs in = {silence, silence, nullptr};
  for (BandKernelKind kernel : kernelsHere()) {
    int32_t probe = 0;
    for (float edge : {kFlushThreshold, kFlushCeiling}) {
      const float scale = edge < 1.0f ? 0x1p-20f : 0x1p20f;
      const SliceSettings settings = {1.0f, 0.0f, -scale};
      for (int32_t shift = 0; shift <= 18; ++shift) {
        for (int32_t offset : {-(1 << shift), 1 << shift, -(1 << shift) - 1, (1 << shift) + 1}) {
          const int32_t lane = probe++ % kNumBands;
          const uint32_t sign = probe % 3 == 0 ? 0x80000000u : 0u;
          const float value = fromBits((bits(edge) + static_cast<uint32_t>(offset)) | sign);
          BandLanes bands = {};
          for (int32_t b = 0; b < kNumBands; ++b) {
            bands.negB2[b] = 1.0f;
            bands.speechZ1[b] = bands.speechZ2[b] = bands.carrierZ1[b] = bands.carrierZ2[b] = 1.0f;
            bands.envZ1[b] = (b == lane ? value : 1e-3f) / scale;
          }
          float sum;
          bandKernelFor(kernel)(bands, in, settings, &sum, 1);
          ASSERT_TRUE(sameBits(flush(value), bands.envZ1[lane]))
              << bandKernelName(kernel) << " kernel, state " << value;
        }
      }
    }
  }
}

void process(ChannelVocoder& vocoder, float** in, float** out, int32_t n) {
  vocoder.process(in[0], in[1], out[0], out[1], n);
}

void runSession(BandKernelKind kernel, uint32_t seed, int steps) {
  ChannelVocoder plugin;
  plugin.useKernel(kernel);
  ASSERT_EQ(kernel, plugin.kernel());
  ChannelVocoder settings;  // the model's settings
  reference::BandByBandVocoder model(settings);
  equivalence::Session session(seed);
  const std::string difference = session.run(
      steps, [&](float** in, float** out, int32_t n) { process(plugin, in, out, n); },
      [&](int32_t index, float value) { plugin.setParameter(index, value); },
      [&](float** in, float** out, int32_t n) { model.processReplacing(settings, in, out, n); },
      [&](int32_t index, float value) { settings.setParameter(index, value); },
      [&]() { return compareStates(plugin, model); });
  EXPECT_EQ("", difference) << bandKernelName(kernel) << " kernel, seed " << seed;
  const auto& s = plugin.stretches();
  std::printf("  %s kernel, seed %u: %ld blocks, %ld frames agree bit for bit (%lld stretches, "
              "%lld speculative, %lld fell back)\n",
              bandKernelName(kernel), seed, session.blocks(), session.frames(),
              static_cast<long long>(s.run), static_cast<long long>(s.speculated),
              static_cast<long long>(s.fellBack));
}

TEST(BandByBand, LongSessionsOfVariedInputAgreeBitForBit) {
  for (BandKernelKind kernel : kernelsHere())
    for (uint32_t seed : {1u, 2u, 3u, 4u}) runSession(kernel, seed, 1500);
}

// After loud input the filters ring down through the flush threshold into exact zeros or tiny
// limit cycles; every state on the way must be the same.
void runSilenceAfterLoud(BandKernelKind kernel, float mulch) {
  ChannelVocoder plugin;
  ChannelVocoder settings;
  plugin.useKernel(kernel);
  plugin.setParameter(kMulchIO, mulch);
  settings.setParameter(kMulchIO, mulch);
  reference::BandByBandVocoder model(settings);
  const std::vector<float> loud = signals::speechLike(44100, 11, 3.0f);
  const std::vector<float> carrier = signals::noise(44100, 12, 0.9f);
  for (int block = 0; block < 500; ++block) {
    const int n = 441;
    std::vector<float> a(2 * n), b;
    for (int k = 0; k < n; ++k) {
      const int t = (block * n + k) % 44100;
      a[k] = block < 100 ? loud[t] : 0.0f;
      a[n + k] = block < 100 || block % 3 == 0 ? carrier[t] : 0.0f;
    }
    b = a;
    std::vector<float> plugOut(2 * n), modelOut(2 * n);
    float* pin[2] = {a.data(), a.data() + n};
    float* pout[2] = {plugOut.data(), plugOut.data() + n};
    float* min[2] = {b.data(), b.data() + n};
    float* mout[2] = {modelOut.data(), modelOut.data() + n};
    process(plugin, pin, pout, n);
    model.processReplacing(settings, min, mout, n);
    const std::string where =
        std::string(bandKernelName(kernel)) + " kernel, block " + std::to_string(block);
    ASSERT_EQ(0, std::memcmp(plugOut.data(), modelOut.data(), sizeof(float) * 2 * n)) << where;
    ASSERT_EQ(0, std::memcmp(a.data(), b.data(), sizeof(float) * 2 * n)) << where;
    ASSERT_EQ("", compareStates(plugin, model)) << where;
  }
}

TEST(BandByBand, SilenceAfterLoudInputAgreesStateForState) {
  for (BandKernelKind kernel : kernelsHere())
    for (float mulch : {1.0f, 0.0f}) runSilenceAfterLoud(kernel, mulch);
}

}  // namespace
