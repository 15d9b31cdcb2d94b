#pragma once
// Writes the rendered audio a block at a time through libsndfile, as WAV (16-bit, 24-bit or
// 32-bit float) or FLAC (16 or 24-bit), safely: the samples go to a new temporary file beside
// the target, and only a completed file is renamed over the target. Until `finish` succeeds the
// target is untouched; a failed or abandoned file is removed. Nothing here throws.
//
// Integer formats round to the nearest step and clip samples beyond full scale (and count them),
// never wrap them around; float files keep them. Samples that are no finite number are written
// as silence.

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/mvrender/output_format.h"

struct OutputFormat {
  FileType type = FileType::kWav;
  SampleFormat samples = SampleFormat::kPcm24;
  int32_t channels = 2;
  uint32_t sampleRate = 44100;
};

class SoundFileWriter {
 public:
  SoundFileWriter() = default;
  ~SoundFileWriter();  // abandons an unfinished file
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  // Creates the temporary file and starts it.
  bool open(const std::string& path, const OutputFormat& format, std::string& error);

  // Appends `frames` frames from one buffer per channel.
  bool write(const float* const* channels, int32_t frames, std::string& error);

  // Completes the file, closes it and renames it to the target.
  bool finish(std::string& error);

  // Closes and removes the temporary file; the target stays as it was.
  void abandon();

  const std::string& temporaryPath() const { return temporaryPath_; }
  // Samples beyond full scale that an integer format had to clip.
  int64_t clippedSamples() const { return clipped_; }

 private:
  bool fail(const std::string& reason, std::string& error);
  bool close();

  std::FILE* file_ = nullptr;
  SNDFILE* sound_ = nullptr;
  std::string path_;
  std::string temporaryPath_;
  OutputFormat format_;
  int64_t clipped_ = 0;
  std::vector<float> interleaved_;
  std::vector<int32_t> integers_;
};
