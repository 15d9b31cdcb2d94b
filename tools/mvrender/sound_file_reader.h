#pragma once
// Reads an audio file as float samples, a block at a time, so that files of any length are read
// in little memory: whatever libsndfile reads (WAV in all its PCM and float forms, plain and
// extensible, AIFF, FLAC, Ogg Vorbis and more), mono or stereo.
//
// A file that cannot be read whole is refused when it is opened, with a one-line message that
// names the file: one that is empty, holds no audio or is no audio file, one with more than two
// channels, and a truncated one, whose header or stream promises more audio than it holds (a
// truncated file is not a shorter sound). Nothing here throws.

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

class SoundFileReader {
 public:
  SoundFileReader() = default;
  ~SoundFileReader();
  SoundFileReader(const SoundFileReader&) = delete;
  SoundFileReader& operator=(const SoundFileReader&) = delete;

  // Opens the file and checks it; on failure `error` says why, prefixed with the path.
  bool open(const std::string& path, std::string& error);

  int32_t channels() const { return info_.channels; }
  uint32_t sampleRate() const { return static_cast<uint32_t>(info_.samplerate); }
  int64_t frames() const { return info_.frames; }
  int64_t framesLeft() const { return info_.frames - position_; }
  const std::string& path() const { return path_; }

  // Reads up to `maxFrames` frames into one buffer per channel (channels() of them). Returns
  // the number read (0 at the end), or -1 with `error` set when the file fails.
  int32_t read(float* const* channels, int32_t maxFrames, std::string& error);

 private:
  bool refuse(const std::string& reason, std::string& error);
  bool checkComplete(std::string& error);
  void close();

  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  std::string path_;
  int64_t position_ = 0;
  std::vector<float> interleaved_;
};
