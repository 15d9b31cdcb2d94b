// The render command on real files with the LV2 plug-in of the build tree: the native route
// gives the engine's own samples, a stereo file renders as the two mono files do, the built-in
// carrier and padding set the length, a file at 48000 Hz keeps the levels of 44100 Hz, and every
// bad input is refused with its message before any output file appears.

#include "tools/mvrender/render_command.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/channel_vocoder.h"
#include "tests/fixtures/band_prediction.h"
#include "tests/fixtures/rendering.h"
#include "tests/fixtures/test_signals.h"
#include "tests/native/offline/offline_test_support.h"
#include "tools/mvrender/effect_settings.h"
#include "vst/vocoder.h"

namespace {

class QuietConsole : public RenderConsole {
 public:
  void note(const std::string& line) override { notes.push_back(line); }
  RenderProgress* progress() override { return nullptr; }
  std::vector<std::string> notes;
};

std::vector<float> tone(size_t frames, double hertz, float level) {
  std::vector<float> s(frames);
  for (size_t i = 0; i < frames; ++i)
    s[i] = level * static_cast<float>(std::sin(i * 2.0 * M_PI * hertz / 44100.0) *
                                      (0.5 + 0.5 * std::sin(i * 2.0 * M_PI * 3.0 / 44100.0)));
  return s;
}

CommandLine parsed(const std::vector<std::string>& args) {
  CommandLine options;
  std::string error;
  EXPECT_TRUE(parseCommandLine(args, options, error)) << error;
  return options;
}

bool render(const std::vector<std::string>& args, std::string& error, QuietConsole* console = nullptr) {
  PluginLocations where;
  where.lv2Bundle = MULCHVOICE_LV2_BUNDLE;
  QuietConsole quiet;
  RenderResult result;
  return runRender(parsed(args), where, console ? *console : quiet, result, error);
}

class RenderCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    speech = tone(30000, 300.0, 0.7f);
    carrier = tone(20000, 110.0, 0.5f);
    writeSound(dir.file("speech.wav"), {speech}, 44100, SampleFormat::kFloat32);
    writeSound(dir.file("carrier.wav"), {carrier}, 44100, SampleFormat::kFloat32);
  }
  TempDir dir;
  std::vector<float> speech, carrier;
};

TEST_F(RenderCommand, TheNativeRouteGivesTheEnginesOwnSamples) {
  std::vector<float> paddedCarrier = carrier;
  paddedCarrier.resize(speech.size(), 0.0f);
  for (const bool gated : {true, false}) {
    ChannelVocoder core;
    core.setParameter(kMulchIO, gated ? 1.0f : 0.0f);
    const Rendering expected = renderInOneCall(core, speech, paddedCarrier);
    std::string error;
    ASSERT_TRUE(render({"render", "--speech", dir.file("speech.wav"), "--carrier",
                        dir.file("carrier.wav"), "--bits", "32f", "--block-size", "3001",
                        "--param", gated ? "gate=on" : "mulch_io=0", "--output", dir.file("out.wav")},
                       error))
        << error;
    const auto out = readSound(dir.file("out.wav"));
    ASSERT_EQ(2u, out.size());
    EXPECT_TRUE(identicalSamples(expected.out1, out[0])) << (gated ? "gate on" : "gate off");
    EXPECT_TRUE(identicalSamples(expected.out2, out[1])) << (gated ? "gate on" : "gate off");
  }
}

TEST_F(RenderCommand, AStereoFileRendersAsTheTwoMonoFiles) {
  std::vector<float> paddedCarrier = carrier;
  paddedCarrier.resize(speech.size(), 0.0f);
  writeSound(dir.file("stereo.wav"), {speech, paddedCarrier}, 44100, SampleFormat::kFloat32);
  std::string error;
  ASSERT_TRUE(render({"render", "--speech", dir.file("speech.wav"), "--carrier", dir.file("carrier.wav"),
                      "--output", dir.file("two.wav")},
                     error))
      << error;
  ASSERT_TRUE(render({"render", "--input", dir.file("stereo.wav"), "--output", dir.file("one.wav")}, error))
      << error;
  const auto two = readBytes(dir.file("two.wav"));
  EXPECT_EQ(readBytes(dir.file("one.wav")), two);
  EXPECT_EQ(2u, readSound(dir.file("two.wav")).size());
  EXPECT_EQ(speech.size(), readSound(dir.file("two.wav"))[0].size()) << "the longer input's length";
}

TEST_F(RenderCommand, TheBuiltInCarrierRunsForTheSpeechsLength) {
  std::string error;
  QuietConsole console;
  ASSERT_TRUE(render({"render", "--speech", dir.file("speech.wav"), "--output", dir.file("out.flac"),
                      "--pitch", "C3", "--bits", "16", "--mono"},
                     error, &console))
      << error;
  const auto out = readSound(dir.file("out.flac"));
  ASSERT_EQ(1u, out.size());
  ASSERT_EQ(speech.size(), out[0].size());
  float peak = 0.0f;
  for (float v : out[0]) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.01f) << "the vocoder makes sound from speech and the built-in carrier";
  ASSERT_FALSE(console.notes.empty());
  EXPECT_EQ("carrier: built-in sawtooth at 130.8 Hz", console.notes[0]);
}

// The DLL route's Windows side puts the settings into the effect record with this.
TEST_F(RenderCommand, ProgramAndParametersReachTheEffectBeforeTheRender) {
  Vocoder vocoder(nullptr);
  std::string error;
  ASSERT_TRUE(applyEffectSettings(vocoder.getAeffect(),
                                  parsed({"render", "--speech", "s", "--output", "o.wav", "--program",
                                          "1", "--param", "mulch-io=off", "--param", "2=0.75"}),
                                  error))
      << error;
  EXPECT_EQ(1, vocoder.getProgram());
  EXPECT_EQ(0.0f, vocoder.getParameter(kMulchIO));
  EXPECT_EQ(0.75f, vocoder.getParameter(kFilter));
  // A bad setting after good ones changes nothing.
  EXPECT_FALSE(applyEffectSettings(vocoder.getAeffect(),
                                   parsed({"render", "--speech", "s", "--output", "o.wav", "--param",
                                           "gain=0.1", "--param", "volume=1"}),
                                   error));
  EXPECT_EQ(0.3f, vocoder.getParameter(kGain));
}

// A sine on both inputs of a file at 48000 Hz comes out at its level at 44100 Hz: the plug-in
// is tuned for the file's rate, and the output keeps that rate.
TEST_F(RenderCommand, AFileAt48000KeepsTheBandLevelsOf44100) {
  constexpr double kRate = 48000.0, kAmplitude = 0.1;
  const int settle = static_cast<int>(1.5 * kRate), measure = static_cast<int>(0.5 * kRate);
  for (const band_prediction::Tone& tone : band_prediction::levelTones(ChannelVocoder(kRate))) {
    const double w = 2.0 * signals::kPi * tone.hertz / kRate;
    const std::vector<float> sine = signals::sine(settle + measure, w, static_cast<float>(kAmplitude));
    writeSound(dir.file("sine.wav"), {sine, sine}, kRate, SampleFormat::kFloat32);
    std::string error;
    ASSERT_TRUE(render({"render", "--input", dir.file("sine.wav"), "--param", "gate=off", "--bits",
                        "32f", "--output", dir.file("out.wav")},
                       error))
        << error;
    uint32_t rate = 0;
    const auto out = readSound(dir.file("out.wav"), &rate);
    ASSERT_EQ(static_cast<uint32_t>(kRate), rate);
    const double db = band_prediction::decibelsAgainst44100(
        band_prediction::fundamentalPhasor(out[0], settle, w), tone.hertz, kAmplitude, 0.3);
    EXPECT_LT(std::fabs(db), band_prediction::toleranceDb(tone)) << tone.hertz << " Hz: " << db << " dB";
  }
}

TEST_F(RenderCommand, EveryBadInputLeavesNoOutputBehind) {
  writeBytes(dir.file("text.wav"), {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'});
  auto cut = readBytes(dir.file("speech.wav"));
  cut.resize(cut.size() / 2);
  writeBytes(dir.file("cut.wav"), cut);
  writeSound(dir.file("speech48.wav"), {speech}, 48000);
  writeSound(dir.file("speech16.wav"), {speech}, 16000);
  const std::string s = dir.file("speech.wav"), c = dir.file("carrier.wav");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--speech", dir.file("missing.wav")}, "missing.wav: cannot open: No such file or directory"},
      {{"--speech", dir.file("text.wav")}, "text.wav: not an audio file"},
      {{"--speech", s, "--carrier", dir.file("cut.wav")}, "cut.wav: truncated file"},
      {{"--speech", s, "--carrier", dir.file("speech48.wav")}, "both must have the same sample rate"},
      {{"--speech", dir.file("speech16.wav")}, "16000 Hz, but the plug-in runs at 22050 to 384000 Hz"},
      {{"--speech", dir.file("speech48.wav"), "--dll", "none.dll"},
       "48000 Hz, but the DLL's tuning is fixed at 44100 Hz"},
      {{"--speech", s, "--dll", dir.file("none.dll")}, "none.dll: no such file"},
      {{"--input", s}, "--input needs a stereo file"},
      {{"--speech", s, "--param", "volume=0.5"}, "unknown parameter 'volume'; valid names: carrier"},
      {{"--speech", s, "--param", "8=0.5"}, "parameter index 8 is out of range"},
      {{"--speech", s, "--program", "2"}, "program 2 does not exist: the plug-in has 2 programs (0 to 1)"},
  };
  for (const std::string& existing : {std::string(), std::string("old")}) {
    const std::string out = dir.file("out.wav");
    std::remove(out.c_str());
    if (!existing.empty()) writeBytes(out, {'o', 'l', 'd'});
    for (const auto& c : cases) {
      std::vector<std::string> args = {"render", "--output", out};
      args.insert(args.end(), c.args.begin(), c.args.end());
      std::string error;
      QuietConsole console;
      EXPECT_FALSE(render(args, error, &console)) << c.message;
      EXPECT_TRUE(console.notes.empty()) << c.message << ": a refusal is its one line";
      EXPECT_NE(std::string::npos, error.find(c.message)) << error;
      EXPECT_EQ(std::string::npos, error.find('\n')) << error;
      if (existing.empty()) {
        EXPECT_FALSE(fileExistsAt(out)) << c.message;
      } else {
        EXPECT_EQ(3u, readBytes(out).size()) << c.message << ": the old output is untouched";
      }
    }
  }
  for (const std::string& name : dir.files())
    EXPECT_EQ(std::string::npos, name.find(".tmp")) << "a temporary file is left: " << name;
}

}  // namespace
