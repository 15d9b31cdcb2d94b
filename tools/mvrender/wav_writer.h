#pragma once
// Writes a WAV file a block at a time, safely: the samples go to a new temporary file beside the
// target, and only a completed file is renamed over the target. Until `finish` succeeds the
// target is untouched; a failed or abandoned file is removed. Nothing here throws.
//
// Integer encodings get a 16-byte PCM fmt chunk; float encodings a float fmt chunk and the fact
// chunk that non-PCM WAV files carry.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/mvrender/wav_format.h"

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();  // abandons an unfinished file
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates the temporary file and writes a provisional header.
  bool open(const std::string& path, const WavFormat& format, std::string& error);

  // Appends `frames` frames from one buffer per channel.
  bool write(const float* const* channels, int32_t frames, std::string& error);

  // Completes the header, closes the file and renames it to the target.
  bool finish(std::string& error);

  // Closes and removes the temporary file; the target stays as it was.
  void abandon();

  const std::string& temporaryPath() const { return temporaryPath_; }
  int64_t framesWritten() const { return frames_; }
  // Samples beyond full scale that an integer encoding had to clip.
  int64_t clippedSamples() const { return clipped_; }

 private:
  bool fail(const std::string& reason, std::string& error);
  bool writeHeader();

  std::FILE* file_ = nullptr;
  std::string path_;
  std::string temporaryPath_;
  WavFormat format_;
  int64_t frames_ = 0;
  int64_t clipped_ = 0;
  std::vector<float> interleaved_;
  std::vector<unsigned char> bytes_;
};

// Writes a whole file from one vector per channel (all of the same length).
bool writeWavFile(const std::string& path, const WavFormat& format,
                  const std::vector<std::vector<float>>& channels, std::string& error);
