#include "tools/mvrender/sound_file_writer.h"

#include <cmath>
#include <cstdint>

#include "tools/mvrender/file_system.h"

namespace {

// Integer samples go to the library as 32-bit integers, rounded to the nearest step of the
// format here and placed in the top bits, which the library keeps as they are.
struct IntegerScale {
  double steps;  // steps from silence to full scale
  int shift;     // of a step within a 32-bit integer
};

IntegerScale integerScale(SampleFormat samples) {
  return samples == SampleFormat::kPcm16 ? IntegerScale{32768.0, 16} : IntegerScale{8388608.0, 8};
}

int libraryFormat(const OutputFormat& format) {
  const int type = format.type == FileType::kFlac ? SF_FORMAT_FLAC : SF_FORMAT_WAV;
  switch (format.samples) {
    case SampleFormat::kPcm16: return type | SF_FORMAT_PCM_16;
    case SampleFormat::kPcm24: return type | SF_FORMAT_PCM_24;
    case SampleFormat::kFloat32: return type | SF_FORMAT_FLOAT;
  }
  return 0;
}

}  // namespace

SoundFileWriter::~SoundFileWriter() { abandon(); }

// Closes both the library's file and ours; false when the last of the file failed to go out.
bool SoundFileWriter::close() {
  bool ok = true;
  if (sound_ != nullptr) ok = sf_close(sound_) == 0;
  if (file_ != nullptr) ok = std::fclose(file_) == 0 && ok;
  sound_ = nullptr;
  file_ = nullptr;
  return ok;
}

void SoundFileWriter::abandon() {
  if (file_ == nullptr) return;
  close();
  removeFile(temporaryPath_);
}

bool SoundFileWriter::fail(const std::string& reason, std::string& error) {
  error = path_ + ": " + reason;
  abandon();
  return false;
}

bool SoundFileWriter::open(const std::string& path, const OutputFormat& format,
                           std::string& error) {
  abandon();
  path_ = path;
  format_ = format;
  clipped_ = 0;
  SF_INFO info{};
  info.channels = format.channels;
  info.samplerate = static_cast<int>(format.sampleRate);
  info.format = libraryFormat(format);
  if (format.channels < 1 || format.channels > 2 || !sf_format_check(&info)) {
    error = path + ": cannot write " + std::to_string(format.channels) + " channels at " +
            std::to_string(format.sampleRate) + " Hz in this format";
    return false;
  }
  file_ = createTemporaryBeside(path, temporaryPath_, error);
  if (file_ == nullptr) return false;
  sound_ = sf_open_fd(fileno(file_), SFM_WRITE, &info, SF_FALSE);
  if (sound_ == nullptr) return fail(std::string("cannot write: ") + sf_strerror(nullptr), error);
  // No peak chunk, whose time stamp would make two renders of the same samples differ.
  sf_command(sound_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return true;
}

bool SoundFileWriter::write(const float* const* channels, int32_t frames, std::string& error) {
  if (sound_ == nullptr) {
    error = path_ + ": the file is not open";
    return false;
  }
  const size_t count = static_cast<size_t>(format_.channels);
  const size_t total = static_cast<size_t>(frames) * count;
  if (!isInteger(format_.samples)) {
    interleaved_.resize(total);
    for (int32_t i = 0; i < frames; ++i)
      for (size_t c = 0; c < count; ++c)
        interleaved_[i * count + c] = std::isfinite(channels[c][i]) ? channels[c][i] : 0.0f;
    if (sf_writef_float(sound_, interleaved_.data(), frames) != frames)
      return fail(std::string("cannot write: ") + sf_strerror(sound_), error);
    return true;
  }
  const IntegerScale scale = integerScale(format_.samples);
  integers_.resize(total);
  for (int32_t i = 0; i < frames; ++i) {
    for (size_t c = 0; c < count; ++c) {
      const float sample = std::isfinite(channels[c][i]) ? channels[c][i] : 0.0f;
      if (std::fabs(sample) > 1.0f) ++clipped_;
      const double step = std::fmin(std::fmax(std::nearbyint(sample * scale.steps), -scale.steps),
                                    scale.steps - 1.0);
      integers_[i * count + c] = static_cast<int32_t>(step) * (1 << scale.shift);
    }
  }
  if (sf_writef_int(sound_, integers_.data(), frames) != frames)
    return fail(std::string("cannot write: ") + sf_strerror(sound_), error);
  return true;
}

bool SoundFileWriter::finish(std::string& error) {
  if (sound_ == nullptr) {
    error = path_ + ": the file is not open";
    return false;
  }
  if (!close()) {
    error = path_ + ": cannot write: " + systemErrorText();
    removeFile(temporaryPath_);
    return false;
  }
  return commitTemporary(temporaryPath_, path_, error);
}
