// What hosts read of the bundle beyond the ports, through lilv: the port groups, with input 2 as
// the sidechain of the main input, and the presets, each applied to an instance as hosts apply
// it and rendered. Each preset must sound unlike every other, by the band levels or the gate
// rate measured in its rendering.

#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/port-groups/port-groups.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/channel_vocoder.h"
#include "lv2/ports.h"
#include "tests/fixtures/test_signals.h"
#include "tools/lv2host/lv2_host.h"

namespace {

const lv2host::Plugin& bundle() {
  static const lv2host::Plugin plugin(kPluginUri, MULCHVOICE_LV2_BUNDLE);
  return plugin;
}

// The sidechain mark of LV2 core 1.16, which the headers of 1.18 do not name.
constexpr const char* kIsSideChain = LV2_CORE_PREFIX "isSideChain";

TEST(Lv2Bundle, Input2IsASidechainOfTheMainInputAndTheOutputsAreTheMainPair) {
  const lv2host::Plugin& plugin = bundle();
  ASSERT_NE(nullptr, plugin.get()) << plugin.error();
  const std::string mainInput = plugin.value(kPluginUri, LV2_PORT_GROUPS__mainInput);
  const std::string carrierGroup = plugin.portValue(kInput2, LV2_PORT_GROUPS__group);
  EXPECT_EQ(mainInput, plugin.portValue(kInput1, LV2_PORT_GROUPS__group));
  EXPECT_NE(mainInput, carrierGroup);
  EXPECT_EQ(mainInput, plugin.value(carrierGroup, LV2_PORT_GROUPS__sideChainOf));
  EXPECT_TRUE(plugin.hasProperty(kInput2, kIsSideChain));
  EXPECT_FALSE(plugin.hasProperty(kInput1, kIsSideChain));

  const std::string mainOutput = plugin.value(kPluginUri, LV2_PORT_GROUPS__mainOutput);
  EXPECT_FALSE(mainOutput.empty());
  EXPECT_EQ(mainOutput, plugin.portValue(kOutput1, LV2_PORT_GROUPS__group));
  EXPECT_EQ(mainOutput, plugin.portValue(kOutput2, LV2_PORT_GROUPS__group));
  EXPECT_EQ(LV2_PORT_GROUPS__left, plugin.portValue(kOutput1, LV2_CORE__designation));
  EXPECT_EQ(LV2_PORT_GROUPS__right, plugin.portValue(kOutput2, LV2_CORE__designation));
}

// What a preset sounds like: its overall level and the level in each band, in dB, over a
// speech-like input on input 1 and a sawtooth on input 2, and how many times a second the gate
// opens with steady noise on both.
struct Character {
  double level;
  std::array<double, kNumBands> bands;
  double gateHertz;
};

constexpr float kRate = 48000.0f;
constexpr uint32_t kBlock = 256;

std::vector<float> render(const lv2host::Preset& preset, const std::vector<float>& in1,
                          const std::vector<float>& in2, bool gateOff) {
  const lv2host::Plugin& plugin = bundle();
  lv2host::Instance instance(plugin, kRate);
  EXPECT_NE(nullptr, instance.get());
  for (const auto& [symbol, value] : preset.values)
    instance.control(plugin.portIndex(symbol)) = value;
  if (gateOff) instance.control(kFirstControlPort + kMulchIO) = 0.0f;
  std::vector<float> out1(in1.size()), out2(in1.size());
  for (size_t done = 0; done < in1.size(); done += kBlock) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlock, in1.size() - done));
    const float* in[2] = {in1.data() + done, in2.data() + done};
    float* out[2] = {out1.data() + done, out2.data() + done};
    instance.run(in, out, n);
  }
  return out1;
}

double decibelsOfPower(double sumOfSquares, size_t n) {
  return 10.0 * std::log10(sumOfSquares / static_cast<double>(n) + 1e-30);
}

Character measure(const lv2host::Preset& preset) {
  constexpr int kFrames = 4 * static_cast<int>(kRate);
  Character c{};
  std::vector<float> sawtooth(kFrames);
  for (int k = 0; k < kFrames; ++k)
    sawtooth[k] = 0.3f * static_cast<float>(2.0 * std::fmod(k * 110.0 / kRate, 1.0) - 1.0);
  const std::vector<float> out =
      render(preset, signals::speechLike(kFrames, 11, 0.5f), sawtooth, false);
  double power = 0.0;
  for (const float x : out) power += static_cast<double>(x) * x;
  c.level = decibelsOfPower(power, out.size());
  // Each band's level: the output through the band's own filter at the default width.
  const ChannelVocoder bands(kRate);
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter f;
    bands.getBand(band, f);
    double z1 = 0.0, z2 = 0.0, sum = 0.0;
    for (const float x : out) {
      const double y = f.a0 * x + z1;
      z1 = f.a1 * x + z2 - f.b1 * y;
      z2 = -f.b2 * y;
      sum += y * y;
    }
    c.bands[band - 1] = decibelsOfPower(sum, out.size());
  }
  // The gate's gain is the gated output over the same without the gate, where that is not near
  // a zero crossing; the gate opens where its gain rises past 3/4 of its highest after falling
  // below 1/4. Its first phase is half a second on, whatever the rate; the rate counts the
  // openings after that, from the first.
  const std::vector<float> noise1 = signals::noise(kFrames, 12, 0.3f);
  const std::vector<float> noise2 = signals::noise(kFrames, 13, 0.3f);
  const std::vector<float> gated = render(preset, noise1, noise2, false);
  const std::vector<float> open = render(preset, noise1, noise2, true);
  double openPower = 0.0;
  for (const float x : open) openPower += static_cast<double>(x) * x;
  const double nearZero = 0.01 * std::sqrt(openPower / kFrames);
  std::vector<int> measured;
  for (int k = static_cast<int>(kRate / 2); k < kFrames; ++k)
    if (std::fabs(open[k]) > nearZero) measured.push_back(k);
  float highest = 0.0f;
  for (const int k : measured) highest = std::max(highest, gated[k] / open[k]);
  std::vector<int> openings;
  bool high = true;
  for (const int k : measured) {
    const float gain = gated[k] / open[k];
    if (high && gain < 0.25f * highest) high = false;
    if (!high && gain > 0.75f * highest) {
      high = true;
      openings.push_back(k);
    }
  }
  if (openings.size() >= 2)
    c.gateHertz = (openings.size() - 1) * kRate / (openings.back() - openings.front());
  return c;
}

// Band levels that differ by this much in some band, once the overall level is taken out, or
// gate rates a quarter apart (a gate against none included), are a different sound.
constexpr double kDistinctBandsDb = 3.0;
constexpr double kDistinctGateRatio = 1.25;
// A preset comes out within this much of Smooth Mulch's level.
constexpr double kLevelSpanDb = 6.0;

double bandShapeDistance(const Character& a, const Character& b) {
  double meanA = 0.0, meanB = 0.0, distance = 0.0;
  for (int i = 0; i < kNumBands; ++i) {
    meanA += a.bands[i] / kNumBands;
    meanB += b.bands[i] / kNumBands;
  }
  for (int i = 0; i < kNumBands; ++i)
    distance = std::max(distance, std::fabs((a.bands[i] - meanA) - (b.bands[i] - meanB)));
  return distance;
}

bool gateRatesDiffer(double a, double b) {
  return std::max(a, b) > kDistinctGateRatio * std::min(a, b);
}

TEST(Lv2Bundle, EachPresetSetsEveryControlAndSoundsUnlikeEveryOther) {
  const lv2host::Plugin& plugin = bundle();
  ASSERT_NE(nullptr, plugin.get()) << plugin.error();
  const std::vector<lv2host::Preset> presets = plugin.presets();
  ASSERT_GE(presets.size(), 5u);
  ASSERT_LE(presets.size(), 7u);
  std::vector<Character> characters;
  size_t smoothMulch = presets.size();
  for (const lv2host::Preset& preset : presets) {
    // Every control once, in its range; Smooth Mulch is what a new instance starts with.
    std::vector<int> times(kNumPorts, 0);
    for (const auto& [symbol, value] : preset.values) {
      const uint32_t port = plugin.portIndex(symbol);
      ASSERT_TRUE(port >= kFirstControlPort && port < kNumPorts) << preset.label << " " << symbol;
      ++times[port];
      EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << preset.label << " " << symbol;
      if (preset.label == "Smooth Mulch") {
        EXPECT_EQ(plugin.ports().defaults[port], value) << symbol;
      }
    }
    for (uint32_t port = kFirstControlPort; port < kNumPorts; ++port)
      EXPECT_EQ(1, times[port]) << preset.label << " sets " << plugin.symbol(port);

    characters.push_back(measure(preset));
    const Character& c = characters.back();
    if (preset.label == "Smooth Mulch") smoothMulch = characters.size() - 1;
    std::printf("  %-20s level %6.1f dB, gate %5.2f Hz, bands", preset.label.c_str(), c.level,
                c.gateHertz);
    for (const double band : c.bands) std::printf(" %6.1f", band);
    std::printf(" dB\n");
  }
  ASSERT_LT(smoothMulch, presets.size()) << "no preset is labelled Smooth Mulch";

  for (size_t a = 0; a < presets.size(); ++a) {
    EXPECT_LT(std::fabs(characters[a].level - characters[smoothMulch].level), kLevelSpanDb)
        << presets[a].label;
    for (size_t b = a + 1; b < presets.size(); ++b) {
      const double shape = bandShapeDistance(characters[a], characters[b]);
      EXPECT_TRUE(shape >= kDistinctBandsDb ||
                  gateRatesDiffer(characters[a].gateHertz, characters[b].gateHertz))
          << presets[a].label << " and " << presets[b].label << " sound alike: band shapes "
          << shape << " dB apart, gates at " << characters[a].gateHertz << " and "
          << characters[b].gateHertz << " Hz";
    }
  }
}

}  // namespace
