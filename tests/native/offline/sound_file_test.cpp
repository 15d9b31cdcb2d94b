// Audio files through libsndfile: every kind sox writes reads as sox reads it (WAV with plain
// and extensible headers in all its sample forms, AIFF, FLAC, Ogg Vorbis), what we write reads
// in sox as written, levels beyond full scale clip rather than wrap, a file that cannot be read
// whole is refused with a one-line message, and a file being written never shows under the
// target's name until it is complete.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/native/offline/offline_test_support.h"

namespace {

std::vector<std::vector<float>> noise(int channels, size_t frames, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> level(-1.0f, 0.99f);  // below the top code
  std::vector<std::vector<float>> data(static_cast<size_t>(channels), std::vector<float>(frames));
  for (auto& channel : data)
    for (float& s : channel) s = level(random);
  return data;
}

// Raw 32-bit floats as sox decodes `path`, interleaved.
std::vector<float> soxSamples(const std::string& path, const TempDir& dir) {
  const std::string raw = dir.file("sox.f32");
  if (!runCommand("sox '" + path + "' -t f32 '" + raw + "'")) return {};
  const std::vector<unsigned char> bytes = readBytes(raw);
  std::vector<float> samples(bytes.size() / 4);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
  std::remove(raw.c_str());
  return samples;
}

// sox's view: `-t wav` writes extensible headers for more than 16 bits, `-t wavpcm` never.
constexpr const char* kSoxFormats[] = {
    "-t wav -b 8 -e unsigned-integer", "-t wav -b 16 -e signed-integer",
    "-t wav -b 24 -e signed-integer",  "-t wav -b 32 -e signed-integer",
    "-t wav -b 32 -e floating-point",  "-t wav -b 64 -e floating-point",
    "-t wavpcm -b 24",                 "-t wavpcm -b 32 -e floating-point",
    "-t aiff -b 16",                   "-t aiff -b 24",
    "-t flac -b 16",                   "-t flac -b 24",
    "-t ogg",
};

TEST(SoundFileWithSox, FilesThatSoxWritesReadAsSoxReadsThem) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  for (const char* format : kSoxFormats) {
    for (int channels : {1, 2}) {
      const std::string path = dir.file("sox.audio");
      ASSERT_TRUE(runCommand("sox -n -r 44100 -c " + std::to_string(channels) + " " + format +
                             " '" + path + "' synth 0.1 sine 440 sine 661 vol 0.9"))
          << format;
      const std::string what = std::string(format) + ", channels " + std::to_string(channels);
      const auto ours = readSound(path);
      ASSERT_EQ(static_cast<size_t>(channels), ours.size()) << what;
      const std::vector<float> theirs = soxSamples(path, dir);
      ASSERT_EQ(theirs.size(), ours[0].size() * channels) << what;
      // sox has Ogg Vorbis decoded to 16-bit samples.
      const float tolerance = std::strstr(format, "ogg") != nullptr ? 1.0f / 32768.0f : 1e-7f;
      for (size_t i = 0; i < theirs.size(); ++i)
        ASSERT_NEAR(theirs[i], ours[i % channels][i / channels], tolerance) << what << " sample " << i;
    }
  }
}

TEST(SoundFileWithSox, FilesWeWriteReadInSoxAsWritten) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  const struct {
    FileType type;
    SampleFormat samples;
    float halfStep;  // the most a written and read sample may move
  } formats[] = {{FileType::kWav, SampleFormat::kPcm16, 0.5f / 32768.0f},
                 {FileType::kWav, SampleFormat::kPcm24, 0.5f / 8388608.0f},
                 {FileType::kWav, SampleFormat::kFloat32, 0.0f},
                 {FileType::kFlac, SampleFormat::kPcm16, 0.5f / 32768.0f},
                 {FileType::kFlac, SampleFormat::kPcm24, 0.5f / 8388608.0f}};
  for (const auto& f : formats) {
    const auto data = noise(2, 4411, 11);
    const std::string path = dir.file(f.type == FileType::kFlac ? "ours.flac" : "ours.wav");
    ASSERT_TRUE(writeSound(path, data, 44100, f.samples, f.type));
    const std::vector<float> theirs = soxSamples(path, dir);
    ASSERT_EQ(2u * 4411u, theirs.size()) << path;
    for (size_t i = 0; i < theirs.size(); ++i)
      ASSERT_NEAR(data[i % 2][i / 2], theirs[i], f.halfStep) << path << " sample " << i;
  }
}

TEST(SoundFile, IntegerSamplesClipAtFullScaleFloatsKeepTheirLevelsNoNumberIsSilence) {
  TempDir dir;
  const std::vector<float> samples = {1.5f, -3.0f, 1.0f, NAN, INFINITY, -0.5f};
  for (const SampleFormat format : {SampleFormat::kPcm16, SampleFormat::kFloat32}) {
    SoundFileWriter writer;
    std::string error;
    OutputFormat output;
    output.samples = format;
    output.channels = 1;
    const float* channels[1] = {samples.data()};
    ASSERT_TRUE(writer.open(dir.file("levels.wav"), output, error) &&
                writer.write(channels, static_cast<int32_t>(samples.size()), error) &&
                writer.finish(error))
        << error;
    const std::vector<float> back = readSound(dir.file("levels.wav"))[0];
    if (format == SampleFormat::kPcm16) {
      EXPECT_EQ((std::vector<float>{32767 / 32768.0f, -1.0f, 32767 / 32768.0f, 0.0f, 0.0f, -0.5f}), back);
      EXPECT_EQ(2, writer.clippedSamples()) << "1.0 is full scale, not beyond it";
    } else {
      EXPECT_EQ((std::vector<float>{1.5f, -3.0f, 1.0f, 0.0f, 0.0f, -0.5f}), back);
      EXPECT_EQ(0, writer.clippedSamples());
    }
  }
}

// One fixture per failure mode, most of them made by sox and cut short.
TEST(SoundFile, WhatCannotBeReadWholeIsRefusedWithItsOwnOneLineMessage) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  struct Broken {
    const char* name;
    const char* make;  // a shell command writing $f, from the whole file $f.whole when cut
    const char* message;
  };
  const Broken broken[] = {
      {"empty.wav", ": > $f", "the file is empty"},
      {"text.wav", "echo hello world > $f", "not an audio file"},
      {"cut.wav", "sox -n -r 44100 -b 16 -t wav $f.whole synth 1 sine 440 && head -c 50000 $f.whole > $f",
       "truncated file: it holds less audio than its header promises"},
      {"cut.aiff", "sox -n -r 44100 -b 16 -t aiff $f.whole synth 1 sine 440 && head -c 50000 $f.whole > $f",
       "truncated file: it holds less audio than its header promises"},
      {"cut.flac",
       "sox -n -r 44100 -c 2 -b 16 -t flac $f.whole synth 5 sine 440 sine 661 && head -c 100000 $f.whole > $f",
       "truncated file: it ends before the last of its frames"},
      {"cut.ogg", "sox -n -r 44100 -c 2 -t ogg $f.whole synth 5 sine 440 sine 661 && head -c 10000 $f.whole > $f",
       "truncated file: the stream has no end"},
      {"three.wav", "sox -n -r 44100 -c 3 -b 16 $f synth 0.1 sine 440",
       "the file has 3 channels; only mono and stereo files are supported"},
      {"silent.wav", "sox -n -r 44100 -b 16 $f trim 0 0", "the file holds no audio"},
      {"no-channels.wav",
       "sox -n -r 44100 -b 16 $f synth 0.1 sine 440 && printf '\\000\\000' | dd of=$f bs=1 seek=22 "
       "conv=notrunc status=none",
       "cannot read it: Channel count is zero"},
  };
  for (const Broken& b : broken) {
    const std::string path = dir.file(b.name);
    ASSERT_TRUE(runCommand("f='" + path + "'; { " + b.make + "; }")) << b.name;
    SoundFileReader reader;
    std::string error;
    EXPECT_FALSE(reader.open(path, error)) << b.name;
    EXPECT_EQ(0u, error.find(path + ": ")) << b.name << ": " << error;
    EXPECT_NE(std::string::npos, error.find(b.message)) << b.name << ": " << error;
    EXPECT_EQ(std::string::npos, error.find('\n')) << b.name << ": " << error;
  }
  SoundFileReader reader;
  std::string error;
  EXPECT_FALSE(reader.open("/nonexistent/speech.wav", error));
  EXPECT_EQ("/nonexistent/speech.wav: cannot open: No such file or directory", error);
}

TEST(SoundFile, TheTargetAppearsOnlyWhenTheFileIsComplete) {
  TempDir dir;
  const std::string target = dir.file("out.wav");
  writeBytes(target, {'o', 'l', 'd'});
  const auto data = noise(2, 1000, 3);
  const float* channels[2] = {data[0].data(), data[1].data()};
  OutputFormat format;
  format.samples = SampleFormat::kPcm16;
  std::string error;
  {
    SoundFileWriter writer;
    ASSERT_TRUE(writer.open(target, format, error)) << error;
    ASSERT_TRUE(writer.write(channels, 1000, error)) << error;
    EXPECT_EQ(3u, readBytes(target).size()) << "the old file stays until the new one is complete";
    EXPECT_TRUE(fileExistsAt(writer.temporaryPath()));
    EXPECT_EQ(dir.file(""), writer.temporaryPath().substr(0, dir.file("").size()))
        << "the temporary file lies beside the target, so that renaming it is one step";
  }  // destroyed unfinished: abandoned
  EXPECT_EQ(std::vector<std::string>{"out.wav"}, dir.files());
  EXPECT_EQ(3u, readBytes(target).size());

  SoundFileWriter writer;
  ASSERT_TRUE(writer.open(target, format, error)) << error;
  SoundFileWriter second;  // a second run beside it gets a temporary file of its own
  ASSERT_TRUE(second.open(target, format, error)) << error;
  EXPECT_NE(writer.temporaryPath(), second.temporaryPath());
  second.abandon();
  ASSERT_TRUE(writer.write(channels, 1000, error)) << error;
  ASSERT_TRUE(writer.finish(error)) << error;
  EXPECT_EQ(1000u, readSound(target)[1].size());
  EXPECT_EQ(std::vector<std::string>{"out.wav"}, dir.files()) << "no temporary file is left";

  SoundFileWriter unwritable;
  EXPECT_FALSE(unwritable.open(dir.file("missing/out.wav"), format, error));
  EXPECT_NE(std::string::npos, error.find("missing/out.wav: cannot create the file")) << error;
  EXPECT_EQ(std::string::npos, error.find('\n'));
}

}  // namespace
