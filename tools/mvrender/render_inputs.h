#pragma once
// The render's inputs as the user gives them: a speech file with a carrier file, a speech file
// with the built-in carrier, or one stereo file (left speech, right carrier). Stereo speech or
// carrier files are mixed to mono; the shorter signal is padded with silence to the length of
// the longer one, and the built-in carrier runs for exactly the speech's length.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/mvrender/carrier_generator.h"
#include "tools/mvrender/render_loop.h"
#include "tools/mvrender/sound_file_reader.h"

class FileRenderSource : public RenderSource {
 public:
  // Speech and carrier from two files.
  bool openFiles(const std::string& speechPath, const std::string& carrierPath, std::string& error);
  // Speech from a file, carrier generated.
  bool openWithGenerator(const std::string& speechPath, CarrierWave wave, double pitchHz,
                         std::string& error);
  // Both from one stereo file.
  bool openStereo(const std::string& inputPath, std::string& error);

  int64_t frames() const override { return frames_; }
  bool read(float* speech, float* carrier, int32_t frames, std::string& error) override;

  uint32_t sampleRate() const { return sampleRate_; }
  // Things worth telling the user: mixing to mono, padding.
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  bool openReader(SoundFileReader& reader, const std::string& path, const char* role, std::string& error);
  bool checkRates(const SoundFileReader& carrier, std::string& error);
  void notePadding(const SoundFileReader& shorter, const char* role);
  // Fills `frames` mono samples from `reader` (mixed when stereo) and silence past its end.
  bool readMono(SoundFileReader& reader, float* out, int32_t frames, std::string& error);

  SoundFileReader speech_;
  SoundFileReader carrier_;
  std::unique_ptr<CarrierGenerator> generator_;
  bool stereoInput_ = false;
  int64_t frames_ = 0;
  uint32_t sampleRate_ = 0;
  std::vector<std::string> notes_;
  std::vector<float> scratch_[2];
};
