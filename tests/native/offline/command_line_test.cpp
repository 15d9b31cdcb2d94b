// The command line: what a complete render line sets, the spellings a user may use, and a
// one-line refusal for every kind of mistake. Parameter names and pitches are parsed here too.

#include "tools/mvrender/command_line.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/parameters.h"
#include "tools/mvrender/parameter_names.h"
#include "tools/mvrender/pitch.h"

namespace {

bool parse(const std::vector<std::string>& args, CommandLine& result, std::string& error) {
  return parseCommandLine(args, result, error);
}

TEST(CommandLine, ARenderLineSetsEveryField) {
  CommandLine r;
  std::string error;
  ASSERT_TRUE(parse({"render", "--speech", "v.wav", "--carrier=c.wav", "--output", "o.wav",
                     "--program", "1", "--param", "switch C/S=on", "--param=5=0.25",
                     "--block-size", "4096", "--bits=32f", "--force-rate", "--mono",
                     "--no-progress", "--dll", "other.dll"},
                    r, error))
      << error;
  EXPECT_EQ(Command::kRender, r.command);
  EXPECT_EQ("v.wav", r.speechPath);
  EXPECT_EQ("c.wav", r.carrierPath);
  EXPECT_EQ("o.wav", r.outputPath);
  EXPECT_EQ("other.dll", r.dllPath);
  EXPECT_EQ(1, r.program);
  ASSERT_EQ(2u, r.parameters.size());
  EXPECT_EQ("switch C/S", r.parameters[0].name);
  EXPECT_EQ(1.0f, r.parameters[0].value);
  EXPECT_EQ("5", r.parameters[1].name);
  EXPECT_EQ(0.25f, r.parameters[1].value);
  EXPECT_EQ(4096, r.blockSize);
  EXPECT_EQ(SampleFormat::kFloat32, r.sampleFormat);
  EXPECT_EQ(FileType::kWav, r.fileType);
  EXPECT_TRUE(r.forceRate);
  EXPECT_TRUE(r.mono);
  EXPECT_EQ(ProgressMode::kNever, r.progress);
}

TEST(CommandLine, DefaultsAndTheBuiltInCarrier) {
  CommandLine r;
  std::string error;
  ASSERT_TRUE(parse({"render", "--speech", "v.wav", "--output", "o.wav"}, r, error)) << error;
  EXPECT_EQ(512, r.blockSize);
  EXPECT_EQ(SampleFormat::kPcm24, r.sampleFormat);
  EXPECT_EQ(CarrierWave::kSaw, r.carrierWave);
  EXPECT_NEAR(110.0, r.pitchHz, 1e-9);
  EXPECT_EQ(-1, r.program);
  ASSERT_TRUE(parse({"render", "--speech", "v.wav", "--output", "o.wav", "--carrier-wave", "minor",
                     "--pitch", "C3"},
                    r, error))
      << error;
  EXPECT_EQ(CarrierWave::kMinorChord, r.carrierWave);
  EXPECT_NEAR(130.8128, r.pitchHz, 1e-3);
  ASSERT_TRUE(parse({"render", "--input", "s.wav", "--output", "o.wav", "--block-size", "1000000"}, r, error));
  ASSERT_TRUE(parse({"render", "--input", "s.wav", "--output", "dir.v2/o.FLAC"}, r, error)) << error;
  EXPECT_EQ(FileType::kFlac, r.fileType) << "the type from the name";
  ASSERT_TRUE(parse({"render", "--input", "s.wav", "--output", "o", "--format", "flac"}, r, error));
  EXPECT_EQ(FileType::kFlac, r.fileType);
  ASSERT_TRUE(parse({"screenshot", "--output", "e.png", "--param", "gain=0.5"}, r, error)) << error;
  EXPECT_EQ(Command::kScreenshot, r.command);
  ASSERT_TRUE(parse({"info"}, r, error)) << error;
  EXPECT_EQ(Command::kInfo, r.command);
  for (const char* help : {"help", "--help", "-h"}) {
    ASSERT_TRUE(parse({help}, r, error));
    EXPECT_EQ(Command::kHelp, r.command);
  }
  ASSERT_TRUE(parse({"render", "--speech", "v.wav", "--help"}, r, error));
  EXPECT_EQ(Command::kHelp, r.command);
}

TEST(CommandLine, MistakesGetOneLineErrors) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "no command"},
      {{"play"}, "unknown command 'play'"},
      {{"render", "--output", "o.wav"}, "no input"},
      {{"render", "--speech", "v.wav"}, "no output"},
      {{"render", "--carrier", "c.wav", "--output", "o.wav"}, "--carrier needs --speech"},
      {{"render", "--input", "s.wav", "--speech", "v.wav", "--output", "o.wav"}, "cannot be combined"},
      {{"render", "--speech", "v.wav", "--carrier", "c.wav", "--pitch", "A2", "--output", "o"},
       "cannot be combined with --carrier"},
      {{"render", "--input", "s.wav", "--carrier-wave", "saw", "--output", "o"}, "cannot be combined with --input"},
      {{"render", "--speech", "a.wav", "--speech", "b.wav"}, "--speech is given twice"},
      {{"render", "--speech"}, "--speech needs a value"},
      {{"render", "--speech="}, "--speech needs a file name"},
      {{"render", "--mono=yes"}, "--mono takes no value"},
      {{"render", "--sped", "v.wav"}, "unknown option '--sped'"},
      {{"render", "v.wav"}, "unexpected argument 'v.wav'"},
      {{"info", "--speech", "v.wav"}, "--speech is not an option of info"},
      {{"screenshot"}, "no output: give --output FILE.png"},
      {{"render", "--block-size", "0"}, "bad --block-size '0'"},
      {{"render", "--block-size", "-5"}, "bad --block-size"},
      {{"render", "--block-size", "2000000"}, "bad --block-size"},
      {{"render", "--block-size", "12x"}, "bad --block-size"},
      {{"render", "--bits", "8"}, "bad --bits '8': give 16, 24 or 32f"},
      {{"render", "--format", "mp3"}, "bad --format 'mp3': give wav or flac"},
      {{"render", "--input", "s.wav", "--output", "o.mp3"}, "cannot tell the output's format from its name 'o.mp3'"},
      {{"render", "--input", "s.wav", "--output", "o.flac", "--bits", "32f"}, "FLAC holds 16 or 24-bit samples"},
      {{"render", "--input", "s.wav", "--output", "o.wav", "--force-rate"}, "--force-rate is for the DLL route"},
      {{"render", "--program", "-1"}, "bad --program"},
      {{"render", "--param", "gain"}, "write NAME=VALUE"},
      {{"render", "--param", "=1"}, "write NAME=VALUE"},
      {{"render", "--param", "gain=loud"}, "bad parameter value 'loud'"},
      {{"render", "--param", "gain=1.5"}, "out of range"},
      {{"render", "--param", "gain=nan"}, "out of range"},
      {{"render", "--carrier-wave", "square"}, "bad --carrier-wave 'square'"},
      {{"render", "--pitch", "H2"}, "bad pitch 'H2'"},
      {{"render", "--pitch", "5"}, "out of range"},
  };
  for (const auto& c : cases) {
    CommandLine r;
    std::string error;
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_FALSE(parse(c.args, r, error)) << line;
    EXPECT_NE(std::string::npos, error.find(c.message)) << line << "-> " << error;
    EXPECT_EQ(std::string::npos, error.find('\n')) << error;
  }
}

std::vector<std::string> mulchvoiceNames() {
  std::vector<std::string> names;
  for (const ParameterInfo& p : kParameterTable) names.push_back(p.label);
  return names;
}

TEST(ParameterNames, LabelsMatchWhateverTheirCaseAndSeparators) {
  const std::vector<std::string> names = mulchvoiceNames();
  const struct {
    const char* name;
    int32_t index;
  } cases[] = {{"carrier", 0}, {"SPEECH", 1}, {"Filter", 2}, {"morph", 3}, {"freq", 4}, {"gain", 5},
               {"switch C/S", 6}, {"switch-cs", 6}, {"switch_cs", 6}, {"swap", 6},
               {"mulch I/O", 7}, {"mulch-io", 7}, {"MulchIO", 7}, {"gate", 7}, {"0", 0}, {"7", 7}};
  for (const auto& c : cases) {
    int32_t index = -1;
    std::string error;
    EXPECT_TRUE(resolveParameter(c.name, names, index, error)) << c.name << ": " << error;
    EXPECT_EQ(c.index, index) << c.name;
  }
}

TEST(ParameterNames, UnknownNamesListTheValidOnes) {
  int32_t index = -1;
  std::string error;
  EXPECT_FALSE(resolveParameter("volume", mulchvoiceNames(), index, error));
  EXPECT_EQ("unknown parameter 'volume'; valid names: carrier, speech, filter, morph, freq, gain, "
            "\"switch C/S\", \"mulch I/O\" (or an index from 0 to 7)",
            error);
  EXPECT_FALSE(resolveParameter("8", mulchvoiceNames(), index, error));
  EXPECT_NE(std::string::npos, error.find("index 8 is out of range")) << error;
  EXPECT_FALSE(resolveParameter("", mulchvoiceNames(), index, error));
  EXPECT_FALSE(resolveParameter("gate", {"a", "b"}, index, error)) << "aliases belong to Mulchvoice";
  EXPECT_FALSE(resolveParameter("gain", {"", "", ""}, index, error));
  EXPECT_NE(std::string::npos, error.find("gives its parameters no names; use an index from 0 to 2")) << error;
}

TEST(Pitch, NoteNamesAndFrequencies) {
  const struct {
    const char* text;
    double hertz;
  } cases[] = {{"A4", 440.0}, {"A2", 110.0}, {"a2", 110.0}, {"C4", 261.6256}, {"C#3", 138.5913},
               {"Db3", 138.5913}, {"Bb1", 58.2705}, {"110", 110.0}, {"98.5Hz", 98.5}, {"220 hz", 220.0}};
  for (const auto& c : cases) {
    double hertz = 0.0;
    std::string error;
    EXPECT_TRUE(parsePitch(c.text, hertz, error)) << c.text << ": " << error;
    EXPECT_NEAR(c.hertz, hertz, 1e-3) << c.text;
  }
  for (const char* bad : {"", "A", "A#", "A10", "X4", "110 kHz", "C-2", "9000", "-110"}) {
    double hertz = 0.0;
    std::string error;
    EXPECT_FALSE(parsePitch(bad, hertz, error)) << bad;
  }
}

}  // namespace
