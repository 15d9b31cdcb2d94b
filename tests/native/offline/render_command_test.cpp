// The render command on real files with the native engine: a stereo file renders as the two
// mono files do, the built-in carrier and padding set the length, settings reach the effect,
// and every bad input is refused with its message before any output file appears.

#include "tools/mvrender/render_command.h"

#include <gtest/gtest.h>

#include <cmath>

#include "vst/vocoder.h"
#include "tests/native/offline/offline_test_support.h"
#include "tools/mvrender/effect_settings.h"
#include "tools/mvrender/wav_reader.h"
#include "tools/mvrender/wav_writer.h"

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

void writeFile(const std::string& path, const std::vector<std::vector<float>>& channels,
               uint32_t rate = 44100) {
  WavFormat format;
  format.channels = static_cast<int32_t>(channels.size());
  format.sampleRate = rate;
  format.encoding = SampleEncoding::kPcm16;
  std::string error;
  ASSERT_TRUE(writeWavFile(path, format, channels, error)) << error;
}

CommandLine parsed(const std::vector<std::string>& args) {
  CommandLine options;
  std::string error;
  EXPECT_TRUE(parseCommandLine(args, options, error)) << error;
  return options;
}

bool render(const std::vector<std::string>& args, std::string& error, QuietConsole* console = nullptr) {
  Vocoder vocoder(nullptr);
  QuietConsole quiet;
  RenderResult result;
  return runRender(vocoder.getAeffect(), parsed(args), console ? *console : quiet, result, error);
}

class RenderCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    speech = tone(30000, 300.0, 0.7f);
    carrier = tone(20000, 110.0, 0.5f);
    writeFile(dir.file("speech.wav"), {speech});
    writeFile(dir.file("carrier.wav"), {carrier});
  }
  TempDir dir;
  std::vector<float> speech, carrier;
};

TEST_F(RenderCommand, AStereoFileRendersAsTheTwoMonoFiles) {
  std::vector<float> paddedCarrier = carrier;
  paddedCarrier.resize(speech.size(), 0.0f);
  writeFile(dir.file("stereo.wav"), {speech, paddedCarrier});
  std::string error;
  ASSERT_TRUE(render({"render", "--speech", dir.file("speech.wav"), "--carrier", dir.file("carrier.wav"),
                      "--output", dir.file("two.wav")},
                     error))
      << error;
  ASSERT_TRUE(render({"render", "--input", dir.file("stereo.wav"), "--output", dir.file("one.wav")}, error))
      << error;
  const auto two = readBytes(dir.file("two.wav"));
  EXPECT_EQ(44u + 30000u * 2 * 3, two.size()) << "24-bit stereo at the longer input's length";
  EXPECT_EQ(two, readBytes(dir.file("one.wav")));
}

TEST_F(RenderCommand, TheBuiltInCarrierRunsForTheSpeechsLength) {
  std::string error;
  QuietConsole console;
  ASSERT_TRUE(render({"render", "--speech", dir.file("speech.wav"), "--output", dir.file("out.wav"),
                      "--pitch", "C3", "--bits", "16", "--mono"},
                     error, &console))
      << error;
  WavData out;
  ASSERT_TRUE(readWavFile(dir.file("out.wav"), out, error)) << error;
  EXPECT_EQ(1, out.format.channels);
  EXPECT_EQ(SampleEncoding::kPcm16, out.format.encoding);
  ASSERT_EQ(speech.size(), out.channels[0].size());
  float peak = 0.0f;
  for (float v : out.channels[0]) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.01f) << "the vocoder makes sound from speech and the built-in carrier";
  ASSERT_FALSE(console.notes.empty());
  EXPECT_EQ("carrier: built-in sawtooth at 130.8 Hz", console.notes[0]);
}

TEST_F(RenderCommand, ProgramAndParametersReachTheEffectBeforeTheRender) {
  Vocoder vocoder(nullptr);
  std::string error;
  ASSERT_TRUE(applyEffectSettings(vocoder.getAeffect(),
                                  parsed({"render", "--speech", "s", "--output", "o", "--program", "1",
                                          "--param", "mulch-io=off", "--param", "2=0.75"}),
                                  error))
      << error;
  EXPECT_EQ(1, vocoder.getProgram());
  EXPECT_EQ(0.0f, vocoder.getParameter(kMulchIO));
  EXPECT_EQ(0.75f, vocoder.getParameter(kFilter));
  // A bad setting after good ones changes nothing.
  EXPECT_FALSE(applyEffectSettings(vocoder.getAeffect(),
                                   parsed({"render", "--speech", "s", "--output", "o", "--param",
                                           "gain=0.1", "--param", "volume=1"}),
                                   error));
  EXPECT_EQ(0.3f, vocoder.getParameter(kGain));
}

TEST_F(RenderCommand, OtherRatesAreRefusedUnlessForced) {
  writeFile(dir.file("speech48.wav"), {speech}, 48000);
  std::string error;
  EXPECT_FALSE(render({"render", "--speech", dir.file("speech48.wav"), "--output", dir.file("out.wav")}, error));
  EXPECT_NE(std::string::npos, error.find("48000 Hz, but the plug-in's tuning is fixed at 44100 Hz")) << error;
  EXPECT_NE(std::string::npos, error.find("--force-rate")) << error;
  ASSERT_TRUE(render({"render", "--speech", dir.file("speech48.wav"), "--output", dir.file("out.wav"),
                      "--force-rate"},
                     error))
      << error;
  WavReader reader;
  ASSERT_TRUE(reader.open(dir.file("out.wav"), error));
  EXPECT_EQ(48000u, reader.format().sampleRate);
}

TEST_F(RenderCommand, EveryBadInputLeavesNoOutputBehind) {
  writeBytes(dir.file("text.wav"), {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'});
  auto cut = readBytes(dir.file("speech.wav"));
  cut.resize(cut.size() / 2);
  writeBytes(dir.file("cut.wav"), cut);
  writeFile(dir.file("speech48.wav"), {speech}, 48000);
  const std::string s = dir.file("speech.wav"), c = dir.file("carrier.wav");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--speech", dir.file("missing.wav")}, "missing.wav: cannot open: No such file or directory"},
      {{"--speech", dir.file("text.wav")}, "text.wav: not a WAV file"},
      {{"--speech", s, "--carrier", dir.file("cut.wav")}, "cut.wav: truncated WAV file"},
      {{"--speech", s, "--carrier", dir.file("speech48.wav")}, "both must have the same sample rate"},
      {{"--input", s}, "--input needs a stereo file"},
      {{"--speech", s, "--param", "volume=0.5"}, "unknown parameter 'volume'; valid names: carrier"},
      {{"--speech", s, "--param", "8=0.5"}, "parameter index 8 is out of range"},
      {{"--speech", s, "--program", "2"}, "program 2 does not exist: the effect has 2 programs (0 to 1)"},
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
