#include "tools/mvrender/wav_reader.h"

#include <algorithm>
#include <cstring>

#include "tools/mvrender/file_system.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kMaxFmtSize = 1024;       // the largest fmt chunk in use is 40 bytes
constexpr uint32_t kMaxSampleRate = 1000000;
constexpr int32_t kReadFrames = 4096;

// The tail every WAVE_FORMAT_EXTENSIBLE subformat GUID shares; its first four bytes hold the
// plain format tag.
constexpr unsigned char kGuidTail[12] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38};
constexpr unsigned char kGuidEnd[2] = {0x9B, 0x71};

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string formatTagName(uint32_t tag) {
  switch (tag) {
    case 2: return "Microsoft ADPCM";
    case 6: return "A-law";
    case 7: return "mu-law";
    case 0x11: return "IMA ADPCM";
    case 0x31: return "GSM 6.10";
    case 0x50: return "MPEG";
    case 0x55: return "MP3";
    default: return "format " + std::to_string(tag);
  }
}

std::string chunkName(const unsigned char* id) {
  std::string name;
  for (int i = 0; i < 4; ++i) name += (id[i] >= 32 && id[i] < 127) ? static_cast<char>(id[i]) : '?';
  return name;
}

}  // namespace

WavReader::~WavReader() { close(); }

void WavReader::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  frames_ = 0;
  position_ = 0;
}

bool WavReader::fail(const std::string& reason, std::string& error) {
  error = path_ + ": " + reason;
  close();
  return false;
}

bool WavReader::open(const std::string& path, std::string& error) {
  close();
  path_ = path;
  format_ = WavFormat();
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return fail("cannot open: " + systemErrorText(), error);
  const int64_t size = fileSize(file_);
  if (size < 0) return fail("cannot read: " + systemErrorText(), error);
  if (size == 0) return fail("the file is empty", error);

  unsigned char head[12];
  const size_t got = std::fread(head, 1, sizeof head, file_);
  if (got >= 4 && std::memcmp(head, "RIFX", 4) == 0)
    return fail("big-endian WAV (RIFX) is not supported", error);
  if (got >= 4 && std::memcmp(head, "RF64", 4) == 0)
    return fail("RF64 WAV files are not supported", error);
  if (got >= 4 && std::memcmp(head, "FORM", 4) == 0)
    return fail("not a WAV file (it looks like an AIFF file)", error);
  if (got < 4 || std::memcmp(head, "RIFF", 4) != 0)
    return fail("not a WAV file (no RIFF header)", error);
  if (got < sizeof head) return fail("truncated WAV header", error);
  if (std::memcmp(head + 8, "WAVE", 4) != 0)
    return fail("not a WAV file (a RIFF file of type '" + chunkName(head + 8) + "')", error);

  // Walk the chunks until both fmt and data are known. Sizes are checked against the real
  // file size, so that no count read from the file is trusted further than the bytes exist.
  bool haveFmt = false;
  bool haveData = false;
  int64_t dataOffset = 0;
  int64_t dataSize = 0;
  int64_t pos = 12;
  while (!(haveFmt && haveData)) {
    if (pos + 8 > size) break;
    unsigned char chunk[8];
    if (!seekFile(file_, pos, SEEK_SET) || std::fread(chunk, 1, 8, file_) != 8)
      return fail("cannot read: " + systemErrorText(), error);
    const uint32_t chunkSize = le32(chunk + 4);
    const int64_t body = pos + 8;
    const bool fits = body + static_cast<int64_t>(chunkSize) <= size;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (haveFmt) return fail("corrupt WAV file: two fmt chunks", error);
      if (chunkSize < 16)
        return fail("corrupt WAV file: the fmt chunk has only " + std::to_string(chunkSize) + " bytes",
                    error);
      if (chunkSize > kMaxFmtSize)
        return fail("corrupt WAV file: the fmt chunk claims " + std::to_string(chunkSize) + " bytes",
                    error);
      if (!fits) return fail("truncated WAV file: the fmt chunk is cut short", error);
      unsigned char fmt[kMaxFmtSize];
      if (std::fread(fmt, 1, chunkSize, file_) != chunkSize)
        return fail("cannot read: " + systemErrorText(), error);
      if (!parseFmt(fmt, chunkSize, error)) return false;
      haveFmt = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (haveData) return fail("corrupt WAV file: two data chunks", error);
      if (!fits)
        return fail("truncated WAV file: the data chunk should hold " + std::to_string(chunkSize) +
                        " bytes but the file ends after " + std::to_string(size - body),
                    error);
      haveData = true;
      dataOffset = body;
      dataSize = chunkSize;
    } else if (!fits) {
      return fail("truncated WAV file: the '" + chunkName(chunk) + "' chunk is cut short", error);
    }
    pos = body + chunkSize + (chunkSize & 1);
  }
  if (!haveFmt) return fail("corrupt WAV file: no fmt chunk", error);
  if (!haveData) return fail("corrupt WAV file: no data chunk", error);

  // A partial frame at the end of the data (a writer's rounding slip) is left unread.
  const int64_t frameBytes = static_cast<int64_t>(format_.channels) * bytesPerSample(format_.encoding);
  frames_ = dataSize / frameBytes;
  if (frames_ == 0) return fail("the file holds no audio (its data chunk is empty)", error);
  if (!seekFile(file_, dataOffset, SEEK_SET)) return fail("cannot read: " + systemErrorText(), error);
  bytes_.resize(static_cast<size_t>(frameBytes) * kReadFrames);
  interleaved_.resize(static_cast<size_t>(format_.channels) * kReadFrames);
  return true;
}

bool WavReader::parseFmt(const unsigned char* fmt, uint32_t size, std::string& error) {
  uint32_t tag = le16(fmt);
  const uint16_t channels = le16(fmt + 2);
  const uint32_t rate = le32(fmt + 4);
  const uint16_t blockAlign = le16(fmt + 12);
  const uint16_t bits = le16(fmt + 14);

  if (tag == kFormatExtensible) {
    if (size < 40 || le16(fmt + 16) < 22)
      return fail("corrupt WAV file: the extensible fmt chunk is too short", error);
    const uint16_t validBits = le16(fmt + 18);
    const unsigned char* guid = fmt + 24;
    if (std::memcmp(guid + 2, kGuidTail, sizeof kGuidTail) != 0 ||
        std::memcmp(guid + 14, kGuidEnd, sizeof kGuidEnd) != 0)
      return fail("unsupported WAV encoding (an unknown extensible subformat)", error);
    tag = le16(guid);
    if (validBits > bits)
      return fail("corrupt WAV file: " + std::to_string(validBits) + " valid bits in a " +
                      std::to_string(bits) + "-bit sample",
                  error);
    format_.extensible = true;
  }
  if (channels == 0) return fail("corrupt WAV file: it declares 0 channels", error);
  if (channels > 2)
    return fail("the file has " + std::to_string(channels) +
                    " channels; only mono and stereo files are supported",
                error);
  if (rate == 0) return fail("corrupt WAV file: its sample rate is 0", error);
  if (rate > kMaxSampleRate)
    return fail("corrupt WAV file: a sample rate of " + std::to_string(rate) + " Hz", error);

  if (tag == kFormatPcm) {
    switch (bits) {
      case 8: format_.encoding = SampleEncoding::kPcm8; break;
      case 16: format_.encoding = SampleEncoding::kPcm16; break;
      case 24: format_.encoding = SampleEncoding::kPcm24; break;
      case 32: format_.encoding = SampleEncoding::kPcm32; break;
      default:
        return fail(std::to_string(bits) +
                        "-bit PCM is not supported (8, 16, 24 and 32-bit PCM and float are)",
                    error);
    }
  } else if (tag == kFormatFloat) {
    if (bits == 32) {
      format_.encoding = SampleEncoding::kFloat32;
    } else if (bits == 64) {
      format_.encoding = SampleEncoding::kFloat64;
    } else {
      return fail(std::to_string(bits) + "-bit float is not supported (32 and 64-bit are)", error);
    }
  } else {
    return fail("unsupported WAV encoding: " + formatTagName(tag) +
                    " (8, 16, 24 and 32-bit PCM and float are supported)",
                error);
  }
  if (blockAlign != channels * bytesPerSample(format_.encoding))
    return fail("corrupt WAV file: a frame of " + std::to_string(blockAlign) + " bytes for " +
                    std::to_string(channels) + " channels of " + std::to_string(bits) + " bits",
                error);
  format_.channels = channels;
  format_.sampleRate = rate;
  return true;
}

int32_t WavReader::read(float* const* channels, int32_t maxFrames, std::string& error) {
  if (file_ == nullptr) {
    error = path_ + ": not open";
    return -1;
  }
  const int32_t count = static_cast<int32_t>(
      std::min<int64_t>({static_cast<int64_t>(std::max(maxFrames, 0)), framesLeft(), kReadFrames}));
  if (count == 0) return 0;
  const int32_t numChannels = format_.channels;
  const size_t frameBytes = static_cast<size_t>(numChannels) * bytesPerSample(format_.encoding);
  const size_t want = frameBytes * static_cast<size_t>(count);
  if (std::fread(bytes_.data(), 1, want, file_) != want) {
    fail("truncated WAV file: it ended while being read", error);
    return -1;
  }
  decodeSamples(bytes_.data(), format_.encoding, static_cast<size_t>(count) * numChannels,
                interleaved_.data());
  for (int32_t c = 0; c < numChannels; ++c) {
    float* out = channels[c];
    for (int32_t i = 0; i < count; ++i) out[i] = interleaved_[static_cast<size_t>(i) * numChannels + c];
  }
  position_ += count;
  return count;
}

bool readWavFile(const std::string& path, WavData& data, std::string& error) {
  WavReader reader;
  if (!reader.open(path, error)) return false;
  data.format = reader.format();
  data.channels.assign(static_cast<size_t>(data.format.channels), std::vector<float>());
  for (auto& channel : data.channels) channel.resize(static_cast<size_t>(reader.frames()));
  std::vector<float*> pointers(data.channels.size());
  for (int64_t done = 0; done < reader.frames();) {
    for (size_t c = 0; c < pointers.size(); ++c) pointers[c] = data.channels[c].data() + done;
    const int32_t got = reader.read(pointers.data(), kReadFrames, error);
    if (got <= 0) {
      if (got == 0) error = path + ": truncated WAV file: it ended while being read";
      return false;
    }
    done += got;
  }
  return true;
}
