#include "tools/mvrender/sound_file_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int32_t kMaxChannels = 2;
constexpr size_t kLogBytes = 16384;

// libsndfile's error text without its closing full stop.
std::string libraryError(SNDFILE* file) {
  std::string text = sf_strerror(file);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

// libsndfile reads a WAV or AIFF file whose audio chunk is cut short as the shorter sound it
// finds, saying so only in its log of the header: "data : 88200 (should be 49956)".
bool audioChunkCutShort(SNDFILE* file) {
  std::vector<char> log(kLogBytes, '\0');
  sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  log.back() = '\0';
  const std::string text = log.data();
  for (const char* chunk : {"data :", "SSND :"}) {  // WAV's and AIFF's audio chunks
    const size_t at = text.find(chunk);
    if (at == std::string::npos) continue;
    const size_t end = text.find('\n', at);
    if (text.substr(at, end - at).find("should be") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

SoundFileReader::~SoundFileReader() { close(); }

void SoundFileReader::close() {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
}

bool SoundFileReader::refuse(const std::string& reason, std::string& error) {
  error = path_ + ": " + reason;
  close();
  return false;
}

// A compressed stream (FLAC, Ogg) that is cut short still promises its full length: it is
// whole when its last frame can be read. Seeking there and back is cheap; a stream that fails
// the seek is opened again.
bool SoundFileReader::checkComplete(std::string& error) {
  if (info_.frames == SF_COUNT_MAX)
    return refuse("truncated file: the stream has no end, so its length cannot be told", error);
  if (audioChunkCutShort(file_))
    return refuse("truncated file: it holds less audio than its header promises", error);
  if ((info_.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC &&
      (info_.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_OGG)
    return true;
  std::vector<float> frame(static_cast<size_t>(info_.channels));
  const bool whole = sf_seek(file_, info_.frames - 1, SEEK_SET) == info_.frames - 1 &&
                     sf_readf_float(file_, frame.data(), 1) == 1;
  if (!whole) return refuse("truncated file: it ends before the last of its frames", error);
  if (sf_seek(file_, 0, SEEK_SET) == 0) return true;
  const SF_INFO promised = info_;
  sf_close(file_);
  info_ = SF_INFO{};
  file_ = sf_open(path_.c_str(), SFM_READ, &info_);
  if (file_ != nullptr && info_.frames == promised.frames) return true;
  return refuse("cannot read it again", error);
}

bool SoundFileReader::open(const std::string& path, std::string& error) {
  close();
  path_ = path;
  position_ = 0;
  info_ = SF_INFO{};
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return refuse(std::string("cannot open: ") + std::strerror(errno), error);
  if (S_ISDIR(status.st_mode)) return refuse("a folder, not a file", error);
  if (status.st_size == 0) return refuse("the file is empty", error);
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (file_ == nullptr) {
    const int code = sf_error(nullptr);
    return refuse(code == SF_ERR_UNRECOGNISED_FORMAT
                      ? "not an audio file (none of the kinds libsndfile reads: WAV, AIFF, FLAC, "
                        "Ogg and more)"
                      : "cannot read it: " + libraryError(nullptr),
                  error);
  }
  if (info_.channels > kMaxChannels)
    return refuse("the file has " + std::to_string(info_.channels) +
                      " channels; only mono and stereo files are supported",
                  error);
  if (info_.channels < 1 || info_.samplerate < 1)
    return refuse("corrupt file: it declares " + std::to_string(info_.channels) + " channels at " +
                      std::to_string(info_.samplerate) + " Hz",
                  error);
  if (info_.frames == 0) return refuse("the file holds no audio", error);
  return checkComplete(error);
}

int32_t SoundFileReader::read(float* const* channels, int32_t maxFrames, std::string& error) {
  const int32_t wanted = static_cast<int32_t>(std::min<int64_t>(maxFrames, framesLeft()));
  if (file_ == nullptr || wanted <= 0) return 0;
  const size_t count = static_cast<size_t>(info_.channels);
  interleaved_.resize(static_cast<size_t>(wanted) * count);
  const sf_count_t got = sf_readf_float(file_, interleaved_.data(), wanted);
  if (got != wanted) {
    error = path_ + ": truncated file: it ends after " + std::to_string(position_ + got) +
            " of its " + std::to_string(info_.frames) + " frames" +
            (sf_error(file_) != SF_ERR_NO_ERROR ? " (" + libraryError(file_) + ")" : "");
    return -1;
  }
  for (int32_t i = 0; i < wanted; ++i)
    for (size_t c = 0; c < count; ++c) channels[c][i] = interleaved_[i * count + c];
  position_ += wanted;
  return wanted;
}
