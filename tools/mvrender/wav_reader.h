#pragma once
// Reads a WAV file as float samples, a block at a time, so that files of any length are read in
// little memory. Understands RIFF/WAVE with PCM 8, 16, 24 and 32-bit and 32 and 64-bit float
// samples, mono or stereo, in plain or WAVE_FORMAT_EXTENSIBLE fmt chunks; skips chunks it does
// not know (LIST, fact, cue, ...) with their pad bytes.
//
// A file that is not what its header promises is refused when it is opened, with a one-line
// message naming the file: a data chunk that runs past the end of the file is a truncated file,
// not a shorter sound. Nothing here throws.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/mvrender/wav_format.h"

class WavReader {
 public:
  WavReader() = default;
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  // Opens the file and checks its header; on failure `error` says why, prefixed with the path.
  bool open(const std::string& path, std::string& error);
  void close();

  const WavFormat& format() const { return format_; }
  int64_t frames() const { return frames_; }
  int64_t framesLeft() const { return frames_ - position_; }
  const std::string& path() const { return path_; }

  // Reads up to `maxFrames` frames into one buffer per channel (format().channels of them).
  // Returns the number read (0 at the end), or -1 with `error` set when the file fails.
  int32_t read(float* const* channels, int32_t maxFrames, std::string& error);

 private:
  bool fail(const std::string& reason, std::string& error);
  bool parseFmt(const unsigned char* fmt, uint32_t size, std::string& error);

  std::FILE* file_ = nullptr;
  std::string path_;
  WavFormat format_;
  int64_t frames_ = 0;
  int64_t position_ = 0;
  std::vector<unsigned char> bytes_;
  std::vector<float> interleaved_;
};

// A whole file in memory, one vector per channel.
struct WavData {
  WavFormat format;
  std::vector<std::vector<float>> channels;
};

bool readWavFile(const std::string& path, WavData& data, std::string& error);
