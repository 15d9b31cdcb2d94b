// The LV2 bundle of the build tree as hosts meet it: loaded through lilv, its ports read from
// its description, its instances run. Its samples are held bit for bit against the core's at
// 44100 Hz, and its levels at 22050, 48000 and 96000 Hz against the filters' physics and
// against 44100 Hz.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/channel_vocoder.h"
#include "lv2/ports.h"
#include "tests/fixtures/band_prediction.h"
#include "tests/fixtures/reference_case.h"
#include "tests/fixtures/rendering.h"
#include "tests/fixtures/test_signals.h"
#include "tools/lv2host/lv2_host.h"

namespace {

const lv2host::Plugin& bundle() {
  static const lv2host::Plugin plugin(kPluginUri, MULCHVOICE_LV2_BUNDLE);
  return plugin;
}

uint32_t controlPort(int32_t parameter) { return kFirstControlPort + parameter; }

TEST(Lv2Bundle, PortsAreTwoInputsTwoOutputsThenTheParametersWithTheirLabelsAndDefaults) {
  const lv2host::Plugin& plugin = bundle();
  ASSERT_NE(nullptr, plugin.get()) << plugin.error();
  EXPECT_EQ((std::vector<uint32_t>{kInput1, kInput2}), plugin.ports().audioInputs);
  EXPECT_EQ((std::vector<uint32_t>{kOutput1, kOutput2}), plugin.ports().audioOutputs);
  ASSERT_EQ(static_cast<uint32_t>(kNumPorts), lilv_plugin_get_num_ports(plugin.get()));
  std::vector<float> minimum(kNumPorts), maximum(kNumPorts);
  lilv_plugin_get_port_ranges_float(plugin.get(), minimum.data(), maximum.data(), nullptr);
  for (int32_t parameter = 0; parameter < kNumParams; ++parameter) {
    const uint32_t port = controlPort(parameter);
    EXPECT_TRUE(plugin.is(port, LILV_URI_CONTROL_PORT) && plugin.is(port, LILV_URI_INPUT_PORT));
    EXPECT_EQ(kParameterTable[parameter].label, plugin.name(port));
    const std::string symbol = plugin.symbol(port);
    EXPECT_EQ(std::string::npos, symbol.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"))
        << symbol;
    EXPECT_TRUE(sameBits(kParameterTable[parameter].defaultValue,
                              plugin.ports().defaults[port]))
        << symbol << " defaults to " << plugin.ports().defaults[port];
    EXPECT_EQ(0.0f, minimum[port]) << symbol;
    EXPECT_EQ(1.0f, maximum[port]) << symbol;
    EXPECT_EQ(parameter == kSwitchCS || parameter == kMulchIO,
              plugin.hasProperty(port, LV2_CORE__toggled))
        << symbol;
  }
}

// The README describes each parameter in the words the port comments take from the table.
TEST(Lv2Bundle, ReadmeRowOfEachParameterHasItsLabelDefaultAndDescription) {
  std::ifstream file(MULCHVOICE_SOURCE_DIR "/README.md");
  const std::string readme{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  for (const ParameterInfo& p : kParameterTable) {
    char defaultValue[16];
    std::snprintf(defaultValue, sizeof defaultValue, "%.1f", static_cast<double>(p.defaultValue));
    const std::string row = "| " + std::to_string(p.index) + " | " + p.label + " | " +
                            defaultValue + " | " + p.description + " |";
    EXPECT_NE(std::string::npos, readme.find(row)) << row;
  }
}

// The reference case with each of its parameter changes made on a control port between runs;
// in place, the outputs are the input buffers.
std::vector<float> renderReferenceCase(bool inPlace) {
  lv2host::Instance instance(bundle(), 44100.0);
  EXPECT_NE(nullptr, instance.get());
  bool outputsDiffer = false;
  const std::vector<float> out1 = reference_case::render(
      [&](float** inputs, float** outputs, int n) {
        const size_t bytes = sizeof(float) * static_cast<size_t>(n);
        if (inPlace) {
          std::memcpy(outputs[0], inputs[0], bytes);
          std::memcpy(outputs[1], inputs[1], bytes);
        }
        const float* in[2] = {inPlace ? outputs[0] : inputs[0], inPlace ? outputs[1] : inputs[1]};
        instance.run(in, outputs, static_cast<uint32_t>(n));
      },
      [&](int32_t index, float value) { instance.control(controlPort(index)) = value; },
      outputsDiffer);
  EXPECT_FALSE(outputsDiffer);
  return out1;
}

TEST(Lv2Bundle, RendersTheReferenceCaseAt44100BitForBitAsTheCoreAndTheCommittedReference) {
  std::vector<float> committed;
  ASSERT_TRUE(reference_case::readFile(
      MULCHVOICE_SOURCE_DIR "/tests/fixtures/processing_reference.f32", committed));
  ChannelVocoder core;
  bool outputsDiffer = false;
  const std::vector<float> coreRendering = reference_case::render(
      [&](float** in, float** out, int n) { core.process(in[0], in[1], out[0], out[1], n); },
      [&](int32_t index, float value) { core.setParameter(index, value); }, outputsDiffer);
  EXPECT_TRUE(identicalSamples(committed, coreRendering));
  for (const bool inPlace : {false, true})
    EXPECT_TRUE(identicalSamples(coreRendering, renderReferenceCase(inPlace)))
        << (inPlace ? "in place" : "separate buffers");
}

// A steady sine through an instance tuned for the rate must come out at the level it has at
// 44100 Hz (band_prediction::levelTones). At the centres it must also match the transfer
// functions at the rate itself: an instance tuned for any other rate puts the sine off its bands'
// centres and its envelopes off their times, by far more than the 0.1 % the band physics test
// allows (band_physics_test.cpp).
TEST(Lv2Bundle, SinesKeepTheirLevelAt44100From22050To96000) {
  constexpr double kAmplitude = 0.1;
  constexpr uint32_t kBlock = 1024;
  for (const float rate : {22050.0f, 48000.0f, 96000.0f}) {
    const ChannelVocoder tuned(rate);
    const int settle = static_cast<int>(1.5 * rate), measure = static_cast<int>(0.5 * rate);
    for (const band_prediction::Tone& tone : band_prediction::levelTones(tuned)) {
      const double w = 2.0 * signals::kPi * tone.hertz / rate;
      const std::vector<float> sine =
          signals::sine(settle + measure, w, static_cast<float>(kAmplitude));
      std::vector<float> out1(sine.size()), out2(sine.size());
      lv2host::Instance instance(bundle(), rate);
      ASSERT_NE(nullptr, instance.get()) << rate;
      instance.control(controlPort(kMulchIO)) = 0.0f;
      for (size_t done = 0; done < sine.size(); done += kBlock) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlock, sine.size() - done));
        const float* in[2] = {sine.data() + done, sine.data() + done};
        float* out[2] = {out1.data() + done, out2.data() + done};
        instance.run(in, out, n);
      }
      const band_prediction::Complex measured =
          band_prediction::fundamentalPhasor(out1, settle, w);
      const band_prediction::Complex atRate =
          band_prediction::predictedFundamental(tuned, w, kAmplitude, 0.3);
      const double error = std::abs(measured - atRate) / std::abs(atRate);
      const double db =
          band_prediction::decibelsAgainst44100(measured, tone.hertz, kAmplitude, 0.3);
      std::printf("  %.0f Hz, %.1f Hz: error %.1e, %+.3f dB against 44100 Hz\n", rate,
                  tone.hertz, error, db);
      if (tone.centre) {
        EXPECT_LT(error, 1e-3) << tone.hertz << " Hz at " << rate;
      }
      EXPECT_LT(std::fabs(db), band_prediction::toleranceDb(tone))
          << tone.hertz << " Hz at " << rate;
    }
  }
}

TEST(Lv2Bundle, InstantiatesAtTheSupportedRatesAndRefusesTheOthers) {
  for (const double rate : {22050.0, 88200.0, 384000.0})
    EXPECT_NE(nullptr, lv2host::Instance(bundle(), rate).get()) << rate;
  for (const double rate : {8000.0, 11025.0, 16000.0, 22049.0, 384001.0, 0.0, -44100.0,
                            double(NAN), double(INFINITY)})
    EXPECT_EQ(nullptr, lv2host::Instance(bundle(), rate).get()) << rate;
}

// A reactivated instance starts afresh: the same samples as a new core. A port connected to
// null is left alone, and an input so left reads as silence. (The reference case above covers
// blocks of one sample and of more than a slice.)
TEST(Lv2Bundle, ReactivationStartsAfreshAndNullPortsAreLeftAlone) {
  constexpr uint32_t kFrames = 20000;
  const std::vector<float> speech = signals::speechLike(kFrames, 5, 0.7f);
  const std::vector<float> carrier = signals::noise(kFrames, 6, 0.3f);
  ChannelVocoder core;
  const std::vector<float> expected = renderInOneCall(core, speech, carrier).out1;
  lv2host::Instance instance(bundle(), 44100.0);
  ASSERT_NE(nullptr, instance.get());
  std::vector<float> out1(kFrames), out2(kFrames);
  const float* in[2] = {speech.data(), carrier.data()};
  float* out[2] = {out1.data(), out2.data()};
  for (const char* when : {"at first", "after reactivation", "after a second reactivation"}) {
    instance.run(in, out, kFrames);
    EXPECT_TRUE(identicalSamples(expected, out1)) << when;
    lilv_instance_deactivate(instance.get());
    lilv_instance_activate(instance.get());
  }

  const std::vector<float> untouched(kFrames, 7.0f);
  out2 = untouched;
  in[1] = nullptr;
  out[1] = nullptr;  // output 2 was connected to out2 until here
  instance.run(in, out, kFrames);
  EXPECT_TRUE(identicalSamples(signals::silence(kFrames), out1)) << "input 2 left unconnected";
  EXPECT_TRUE(identicalSamples(untouched, out2)) << "output 2 connected to null";
}

}  // namespace
