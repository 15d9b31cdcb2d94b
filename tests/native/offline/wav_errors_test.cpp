// Broken and unsupported WAV files: one tiny fixture per failure mode, each refused when it is
// opened with a one-line message that names the file and the fault.

#include <gtest/gtest.h>

#include "tests/native/offline/offline_test_support.h"
#include "tools/mvrender/wav_reader.h"

namespace {

Bytes dataChunk(uint32_t bytes) {
  Bytes b;
  b.id("data").u32(bytes).zeros(bytes);
  return b;
}

struct BrokenFile {
  const char* name;
  std::vector<unsigned char> bytes;
  const char* message;
};

std::vector<BrokenFile> brokenFiles() {
  const Bytes fmt16 = fmtChunk(1, 2, 44100, 16);
  std::vector<unsigned char> cutData = riffWave({fmt16, dataChunk(400)});
  cutData.resize(cutData.size() - 100);
  std::vector<unsigned char> cutFmt = riffWave({fmt16});
  cutFmt.resize(30);
  Bytes hugeFmt;
  hugeFmt.id("fmt ").u32(0x7FFFFFF0).raw(fmt16.data).zeros(8);
  Bytes list;
  list.id("LIST").u32(1000).zeros(10);
  Bytes mismatch = fmtChunk(1, 2, 44100, 16);
  mismatch.data[20] = 3;  // block align 3 for two 16-bit channels
  Bytes badGuid;
  badGuid.id("fmt ").u32(40).u16(0xFFFE).u16(1).u32(44100).u32(88200).u16(2).u16(16);
  badGuid.u16(22).u16(16).u32(4).u32(1).zeros(12);
  Bytes aiff;
  aiff.id("FORM").u32(4).id("AIFF");
  Bytes avi;
  avi.id("RIFF").u32(4).id("AVI ");

  return {
      {"empty", {}, "the file is empty"},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}, "not a WAV file"},
      {"aiff", aiff.data, "AIFF"},
      {"avi", avi.data, "not a WAV file (a RIFF file of type 'AVI ')"},
      {"short-header", {'R', 'I', 'F', 'F', 0, 0}, "truncated WAV header"},
      {"cut-data", cutData, "truncated WAV file: the data chunk should hold 400 bytes"},
      {"cut-fmt", cutFmt, "truncated WAV file: the fmt chunk is cut short"},
      {"cut-list", riffWave({list}), "truncated WAV file: the 'LIST' chunk is cut short"},
      {"huge-fmt", riffWave({hugeFmt}), "corrupt WAV file: the fmt chunk claims"},
      {"no-fmt", riffWave({dataChunk(4)}), "no fmt chunk"},
      {"no-data", riffWave({fmt16}), "no data chunk"},
      {"no-audio", riffWave({fmt16, dataChunk(0)}), "holds no audio"},
      {"zero-channels", riffWave({fmtChunk(1, 0, 44100, 16), dataChunk(4)}), "declares 0 channels"},
      {"six-channels", riffWave({fmtChunk(1, 6, 44100, 16), dataChunk(12)}),
       "6 channels; only mono and stereo"},
      {"zero-rate", riffWave({fmtChunk(1, 1, 0, 16), dataChunk(4)}), "sample rate is 0"},
      {"adpcm", riffWave({fmtChunk(2, 1, 44100, 4), dataChunk(4)}), "unsupported WAV encoding: Microsoft ADPCM"},
      {"mu-law", riffWave({fmtChunk(7, 1, 8000, 8), dataChunk(4)}), "unsupported WAV encoding: mu-law"},
      {"12-bit", riffWave({fmtChunk(1, 1, 44100, 12), dataChunk(4)}), "12-bit PCM is not supported"},
      {"16-bit-float", riffWave({fmtChunk(3, 1, 44100, 16), dataChunk(4)}), "16-bit float is not supported"},
      {"block-align", riffWave({mismatch, dataChunk(4)}), "corrupt WAV file: a frame of 3 bytes"},
      {"unknown-guid", riffWave({badGuid, dataChunk(4)}), "unknown extensible subformat"},
  };
}

TEST(WavErrors, EachBrokenFileIsRefusedWithItsOwnOneLineMessage) {
  TempDir dir;
  for (const BrokenFile& broken : brokenFiles()) {
    const std::string path = dir.file(std::string(broken.name) + ".wav");
    writeBytes(path, broken.bytes);
    WavReader reader;
    std::string error;
    EXPECT_FALSE(reader.open(path, error)) << broken.name;
    EXPECT_EQ(0u, error.find(path + ": ")) << broken.name << ": " << error;
    EXPECT_NE(std::string::npos, error.find(broken.message)) << broken.name << ": " << error;
    EXPECT_EQ(std::string::npos, error.find('\n')) << broken.name << ": " << error;
  }
}

TEST(WavErrors, AMissingFileSaysSo) {
  WavReader reader;
  std::string error;
  EXPECT_FALSE(reader.open("/nonexistent/speech.wav", error));
  EXPECT_EQ("/nonexistent/speech.wav: cannot open: No such file or directory", error);
}

TEST(WavErrors, APartialFrameAtTheEndIsLeftUnread) {
  TempDir dir;
  writeBytes(dir.file("partial.wav"), riffWave({fmtChunk(1, 2, 44100, 16), dataChunk(10)}));
  WavReader reader;
  std::string error;
  ASSERT_TRUE(reader.open(dir.file("partial.wav"), error)) << error;
  EXPECT_EQ(2, reader.frames());
}

}  // namespace
