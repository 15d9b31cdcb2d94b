#include "tools/mvrender/render_inputs.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace {

constexpr int32_t kChunk = 4096;

std::string seconds(int64_t frames, uint32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / rate);
  return text;
}

}  // namespace

bool FileRenderSource::openReader(SoundFileReader& reader, const std::string& path, const char* role,
                                  std::string& error) {
  if (!reader.open(path, error)) return false;
  if (reader.channels() == 2)
    notes_.push_back(path + " is stereo: its two channels are mixed to one " + role + " signal");
  return true;
}

bool FileRenderSource::checkRates(const SoundFileReader& carrier, std::string& error) {
  if (carrier.sampleRate() != speech_.sampleRate()) {
    error = "the speech is " + std::to_string(speech_.sampleRate()) + " Hz but the carrier " +
            std::to_string(carrier.sampleRate()) +
            " Hz: both must have the same sample rate (resample one, e.g. with sox)";
    return false;
  }
  return true;
}

void FileRenderSource::notePadding(const SoundFileReader& shorter, const char* role) {
  notes_.push_back("the " + std::string(role) + " (" + seconds(shorter.frames(), sampleRate_) +
                   ") is shorter than the render (" + seconds(frames_, sampleRate_) +
                   "): it is padded with silence");
}

bool FileRenderSource::openFiles(const std::string& speechPath, const std::string& carrierPath,
                                 std::string& error) {
  if (!openReader(speech_, speechPath, "speech", error)) return false;
  if (!openReader(carrier_, carrierPath, "carrier", error)) return false;
  if (!checkRates(carrier_, error)) return false;
  sampleRate_ = speech_.sampleRate();
  frames_ = std::max(speech_.frames(), carrier_.frames());
  if (speech_.frames() < frames_) notePadding(speech_, "speech");
  if (carrier_.frames() < frames_) notePadding(carrier_, "carrier");
  return true;
}

bool FileRenderSource::openWithGenerator(const std::string& speechPath, CarrierWave wave,
                                         double pitchHz, std::string& error) {
  if (!openReader(speech_, speechPath, "speech", error)) return false;
  sampleRate_ = speech_.sampleRate();
  frames_ = speech_.frames();
  generator_.reset(new (std::nothrow) CarrierGenerator(wave, pitchHz, sampleRate_));
  if (!generator_) {
    error = "not enough memory";
    return false;
  }
  return true;
}

bool FileRenderSource::openStereo(const std::string& inputPath, std::string& error) {
  if (!speech_.open(inputPath, error)) return false;
  if (speech_.channels() != 2) {
    error = inputPath + ": --input needs a stereo file (left speech, right carrier); for a mono "
                        "speech file use --speech";
    return false;
  }
  stereoInput_ = true;
  sampleRate_ = speech_.sampleRate();
  frames_ = speech_.frames();
  return true;
}

bool FileRenderSource::readMono(SoundFileReader& reader, float* out, int32_t frames, std::string& error) {
  const int32_t channels = reader.channels();
  int32_t done = 0;
  while (done < frames && reader.framesLeft() > 0) {
    for (auto& s : scratch_) s.resize(kChunk);
    float* buffers[2] = {scratch_[0].data(), scratch_[1].data()};
    const int32_t got = reader.read(buffers, std::min(frames - done, kChunk), error);
    if (got < 0) return false;
    if (got == 0) break;
    for (int32_t i = 0; i < got; ++i)
      out[done + i] = channels == 2 ? 0.5f * (buffers[0][i] + buffers[1][i]) : buffers[0][i];
    done += got;
  }
  std::fill(out + done, out + frames, 0.0f);
  return true;
}

bool FileRenderSource::read(float* speech, float* carrier, int32_t frames, std::string& error) {
  if (stereoInput_) {
    int32_t done = 0;
    while (done < frames && speech_.framesLeft() > 0) {
      float* buffers[2] = {speech + done, carrier + done};
      const int32_t got = speech_.read(buffers, frames - done, error);
      if (got < 0) return false;
      if (got == 0) break;
      done += got;
    }
    std::fill(speech + done, speech + frames, 0.0f);
    std::fill(carrier + done, carrier + frames, 0.0f);
    return true;
  }
  if (!readMono(speech_, speech, frames, error)) return false;
  if (generator_) {
    generator_->generate(carrier, frames);
    return true;
  }
  return readMono(carrier_, carrier, frames, error);
}
