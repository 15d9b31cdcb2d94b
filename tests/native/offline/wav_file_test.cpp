// WAV files: our writer and reader agree for every encoding, they agree with what sox writes
// and reads (plain and extensible headers), unknown chunks are skipped, and a file being
// written never shows under the target's name until it is complete.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tests/native/offline/offline_test_support.h"
#include "tools/mvrender/wav_reader.h"
#include "tools/mvrender/wav_writer.h"

namespace {

constexpr SampleEncoding kAllEncodings[] = {SampleEncoding::kPcm8,    SampleEncoding::kPcm16,
                                            SampleEncoding::kPcm24,   SampleEncoding::kPcm32,
                                            SampleEncoding::kFloat32, SampleEncoding::kFloat64};

std::vector<std::vector<float>> noise(int channels, size_t frames, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> level(-1.0f, 0.99f);  // below the top code
  std::vector<std::vector<float>> data(static_cast<size_t>(channels), std::vector<float>(frames));
  for (auto& channel : data)
    for (float& s : channel) s = level(random);
  return data;
}

WavFormat formatOf(int channels, SampleEncoding encoding, uint32_t rate = 44100) {
  WavFormat f;
  f.channels = channels;
  f.sampleRate = rate;
  f.encoding = encoding;
  return f;
}

// Half a step of the encoding: the most a written and read sample may move.
float halfStep(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::kPcm8: return 0.5f / 128.0f;
    case SampleEncoding::kPcm16: return 0.5f / 32768.0f;
    case SampleEncoding::kPcm24: return 0.5f / 8388608.0f;
    case SampleEncoding::kPcm32: return 1e-7f;  // a float's own resolution
    default: return 0.0f;
  }
}

TEST(WavFile, WhatIsWrittenReadsBackForEveryEncodingAndChannelCount) {
  TempDir dir;
  for (SampleEncoding encoding : kAllEncodings) {
    for (int channels : {1, 2}) {
      // An odd frame count with an odd sample size checks the pad byte of the data chunk.
      const auto data = noise(channels, 10001, 7);
      const std::string path = dir.file("roundtrip.wav");
      std::string error;
      ASSERT_TRUE(writeWavFile(path, formatOf(channels, encoding, 22050), data, error)) << error;
      WavData back;
      ASSERT_TRUE(readWavFile(path, back, error)) << error;
      EXPECT_EQ(22050u, back.format.sampleRate);
      ASSERT_EQ(encoding, back.format.encoding) << encodingName(encoding);
      ASSERT_EQ(data.size(), back.channels.size());
      for (int c = 0; c < channels; ++c) {
        ASSERT_EQ(data[c].size(), back.channels[c].size());
        for (size_t i = 0; i < data[c].size(); ++i)
          ASSERT_NEAR(data[c][i], back.channels[c][i], halfStep(encoding))
              << encodingName(encoding) << " channel " << c << " frame " << i;
      }
    }
  }
}

TEST(WavFile, UnknownChunksAndOddSizesAreSkipped) {
  TempDir dir;
  Bytes list, odd, data, trailer;
  list.id("LIST").u32(4).id("INFO");
  odd.id("junk").u32(3).zeros(3).zeros(1);  // three bytes and the pad byte
  data.id("data").u32(4).u16(0x4000).u16(0xC000);
  trailer.id("cue ").u32(4).zeros(4);
  writeBytes(dir.file("chunks.wav"), riffWave({list, odd, fmtChunk(1, 1, 44100, 16), data, trailer}));
  WavData back;
  std::string error;
  ASSERT_TRUE(readWavFile(dir.file("chunks.wav"), back, error)) << error;
  ASSERT_EQ(2u, back.channels[0].size());
  EXPECT_EQ(0.5f, back.channels[0][0]);
  EXPECT_EQ(-0.5f, back.channels[0][1]);
}

// WAVE_FORMAT_EXTENSIBLE: 40-byte fmt chunk with the subformat GUID after the channel mask.
Bytes extensibleFmt(uint32_t subformat, uint32_t channels, uint32_t bits, uint32_t validBits) {
  const uint32_t align = channels * bits / 8;
  Bytes b;
  b.id("fmt ").u32(40).u16(0xFFFE).u16(channels).u32(48000).u32(48000 * align).u16(align).u16(bits);
  b.u16(22).u16(validBits).u32(channels == 2 ? 3 : 4).u32(subformat);
  b.raw({0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  return b;
}

TEST(WavFile, ExtensibleHeadersNameTheirEncodingInTheGuid) {
  TempDir dir;
  Bytes data24;
  data24.id("data").u32(6).raw({0x00, 0x00, 0x40, 0x00, 0x00, 0xC0});
  writeBytes(dir.file("ext24.wav"), riffWave({extensibleFmt(1, 2, 24, 20), data24}));
  WavData back;
  std::string error;
  ASSERT_TRUE(readWavFile(dir.file("ext24.wav"), back, error)) << error;
  EXPECT_TRUE(back.format.extensible);
  EXPECT_EQ(SampleEncoding::kPcm24, back.format.encoding);
  EXPECT_EQ(48000u, back.format.sampleRate);
  EXPECT_EQ(0.5f, back.channels[0][0]);
  EXPECT_EQ(-0.5f, back.channels[1][0]);

  Bytes dataFloat;
  dataFloat.id("data").u32(4).u32(0x3E800000);  // 0.25f
  writeBytes(dir.file("extf.wav"), riffWave({extensibleFmt(3, 1, 32, 32), dataFloat}));
  ASSERT_TRUE(readWavFile(dir.file("extf.wav"), back, error)) << error;
  EXPECT_EQ(SampleEncoding::kFloat32, back.format.encoding);
  EXPECT_EQ(0.25f, back.channels[0][0]);
}

TEST(WavFile, TheTargetAppearsOnlyWhenTheFileIsComplete) {
  TempDir dir;
  const std::string target = dir.file("out.wav");
  writeBytes(target, {'o', 'l', 'd'});
  const auto data = noise(2, 1000, 3);
  const float* channels[2] = {data[0].data(), data[1].data()};
  std::string error;
  {
    WavWriter writer;
    ASSERT_TRUE(writer.open(target, formatOf(2, SampleEncoding::kPcm16), error)) << error;
    ASSERT_TRUE(writer.write(channels, 1000, error)) << error;
    EXPECT_EQ(3u, readBytes(target).size()) << "the old file stays until the new one is complete";
    EXPECT_TRUE(fileExistsAt(writer.temporaryPath()));
    EXPECT_EQ(dir.file(""), writer.temporaryPath().substr(0, dir.file("").size()))
        << "the temporary file lies beside the target, so that renaming it is one step";
  }  // destroyed unfinished: abandoned
  EXPECT_EQ(std::vector<std::string>{"out.wav"}, dir.files());
  EXPECT_EQ(3u, readBytes(target).size());

  WavWriter writer;
  ASSERT_TRUE(writer.open(target, formatOf(2, SampleEncoding::kPcm16), error)) << error;
  WavWriter second;  // a second run beside it gets a temporary file of its own
  ASSERT_TRUE(second.open(target, formatOf(2, SampleEncoding::kPcm16), error)) << error;
  EXPECT_NE(writer.temporaryPath(), second.temporaryPath());
  second.abandon();
  ASSERT_TRUE(writer.write(channels, 1000, error)) << error;
  ASSERT_TRUE(writer.finish(error)) << error;
  EXPECT_EQ(44u + 4000u, readBytes(target).size());
  EXPECT_EQ(std::vector<std::string>{"out.wav"}, dir.files()) << "no temporary file is left";
}

TEST(WavFile, AnUnwritableTargetGetsAOneLineError) {
  TempDir dir;
  WavWriter writer;
  std::string error;
  EXPECT_FALSE(writer.open(dir.file("missing/out.wav"), formatOf(1, SampleEncoding::kPcm16), error));
  EXPECT_NE(std::string::npos, error.find("missing/out.wav: cannot create the file")) << error;
  EXPECT_EQ(std::string::npos, error.find('\n'));
}

// sox's view: `-t wav` writes extensible headers for more than 16 bits, `-t wavpcm` never.
struct SoxFormat {
  const char* options;
  SampleEncoding encoding;
};
constexpr SoxFormat kSoxFormats[] = {
    {"-b 8 -e unsigned-integer", SampleEncoding::kPcm8},
    {"-b 16 -e signed-integer", SampleEncoding::kPcm16},
    {"-b 24 -e signed-integer", SampleEncoding::kPcm24},
    {"-b 32 -e signed-integer", SampleEncoding::kPcm32},
    {"-b 32 -e floating-point", SampleEncoding::kFloat32},
    {"-b 64 -e floating-point", SampleEncoding::kFloat64},
};

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

TEST(WavFileWithSox, FilesThatSoxWritesReadAsSoxReadsThem) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  for (const char* type : {"wav", "wavpcm"}) {
    for (const SoxFormat& f : kSoxFormats) {
      for (int channels : {1, 2}) {
        const std::string path = dir.file("sox.wav");
        ASSERT_TRUE(runCommand("sox -n -r 44100 -c " + std::to_string(channels) + " " + f.options +
                               " -t " + type + " '" + path + "' synth 0.1 sine 440 sine 661 vol 0.9"))
            << f.options;
        const std::string what = std::string(type) + " " + f.options + " channels " + std::to_string(channels);
        WavData ours;
        std::string error;
        ASSERT_TRUE(readWavFile(path, ours, error)) << what << ": " << error;
        EXPECT_EQ(f.encoding, ours.format.encoding) << what;
        EXPECT_EQ(channels, ours.format.channels) << what;
        const std::vector<float> theirs = soxSamples(path, dir);
        ASSERT_EQ(theirs.size(), ours.channels[0].size() * channels) << what;
        for (size_t i = 0; i < theirs.size(); ++i)
          ASSERT_NEAR(theirs[i], ours.channels[i % channels][i / channels], 1e-7f) << what << " sample " << i;
      }
    }
  }
}

TEST(WavFileWithSox, FilesWeWriteReadInSoxAsWritten) {
  if (!haveSox()) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  for (SampleEncoding encoding : {SampleEncoding::kPcm16, SampleEncoding::kPcm24, SampleEncoding::kFloat32}) {
    const auto data = noise(2, 4411, 11);
    const std::string path = dir.file("ours.wav");
    std::string error;
    ASSERT_TRUE(writeWavFile(path, formatOf(2, encoding), data, error)) << error;
    const std::vector<float> theirs = soxSamples(path, dir);
    ASSERT_EQ(2u * 4411u, theirs.size()) << encodingName(encoding);
    for (size_t i = 0; i < theirs.size(); ++i)
      ASSERT_NEAR(data[i % 2][i / 2], theirs[i], halfStep(encoding)) << encodingName(encoding) << " sample " << i;
  }
}

}  // namespace
