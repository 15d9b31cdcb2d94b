#include "tools/mvrender/wav_writer.h"

#include <algorithm>
#include <cstring>

#include "tools/mvrender/file_system.h"

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr int kMaxTemporaryNames = 100;

void put16(std::vector<unsigned char>& out, uint32_t v) {
  out.push_back(static_cast<unsigned char>(v));
  out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}
void putId(std::vector<unsigned char>& out, const char* id) { out.insert(out.end(), id, id + 4); }

}  // namespace

WavWriter::~WavWriter() { abandon(); }

void WavWriter::abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
    removeFile(temporaryPath_);
  }
}

bool WavWriter::fail(const std::string& reason, std::string& error) {
  error = path_ + ": " + reason;
  abandon();
  return false;
}

bool WavWriter::open(const std::string& path, const WavFormat& format, std::string& error) {
  abandon();
  path_ = path;
  format_ = format;
  frames_ = 0;
  clipped_ = 0;
  if (format.channels < 1 || format.channels > 2 || format.sampleRate == 0) {
    error = path + ": cannot write " + std::to_string(format.channels) + " channels at " +
            std::to_string(format.sampleRate) + " Hz";
    return false;
  }
  // A fresh name beside the target, created exclusively so that two runs never share one.
  std::string reason = "too many temporary files";
  for (int n = 0; n < kMaxTemporaryNames; ++n) {
    temporaryPath_ = path + (n == 0 ? std::string() : "." + std::to_string(n)) + ".tmp";
    file_ = createNewFile(temporaryPath_);
    if (file_ != nullptr) break;
    reason = systemErrorText();
    if (!fileExists(temporaryPath_)) break;  // not a name clash: the directory refuses
  }
  if (file_ == nullptr) {
    error = path + ": cannot create the file: " + reason;
    return false;
  }
  if (!writeHeader()) return fail("cannot write: " + systemErrorText(), error);
  return true;
}

// The header with the sizes known so far; `finish` writes it again at the start of the file.
bool WavWriter::writeHeader() {
  const bool floating = isFloat(format_.encoding);
  const uint32_t sampleBytes = static_cast<uint32_t>(bytesPerSample(format_.encoding));
  const uint32_t blockAlign = static_cast<uint32_t>(format_.channels) * sampleBytes;
  const uint32_t dataBytes = static_cast<uint32_t>(frames_ * blockAlign);
  const uint32_t fmtBytes = floating ? 18 : 16;
  const uint32_t factBytes = floating ? 12 : 0;
  const uint32_t pad = dataBytes & 1;

  std::vector<unsigned char> h;
  putId(h, "RIFF");
  put32(h, 4 + (8 + fmtBytes) + factBytes + 8 + dataBytes + pad);
  putId(h, "WAVE");
  putId(h, "fmt ");
  put32(h, fmtBytes);
  put16(h, floating ? kFormatFloat : kFormatPcm);
  put16(h, static_cast<uint32_t>(format_.channels));
  put32(h, format_.sampleRate);
  put32(h, format_.sampleRate * blockAlign);
  put16(h, blockAlign);
  put16(h, sampleBytes * 8);
  if (floating) {
    put16(h, 0);  // no extension
    putId(h, "fact");
    put32(h, 4);
    put32(h, static_cast<uint32_t>(frames_));
  }
  putId(h, "data");
  put32(h, dataBytes);
  return std::fwrite(h.data(), 1, h.size(), file_) == h.size();
}

bool WavWriter::write(const float* const* channels, int32_t frames, std::string& error) {
  if (file_ == nullptr) {
    error = path_ + ": not open";
    return false;
  }
  if (frames <= 0) return true;
  const int32_t numChannels = format_.channels;
  const int64_t frameBytes = static_cast<int64_t>(numChannels) * bytesPerSample(format_.encoding);
  // The RIFF size field is 32 bits: the data must leave room for the header within 4 GB.
  const int64_t limit = 0xFFFFFFFFLL - 64;
  if ((frames_ + frames) * frameBytes > limit)
    return fail("the output would exceed the 4 GB limit of a WAV file", error);

  const size_t count = static_cast<size_t>(frames) * numChannels;
  interleaved_.resize(count);
  bytes_.resize(static_cast<size_t>(frames) * frameBytes);
  for (int32_t c = 0; c < numChannels; ++c)
    for (int32_t i = 0; i < frames; ++i) interleaved_[static_cast<size_t>(i) * numChannels + c] = channels[c][i];
  clipped_ += static_cast<int64_t>(encodeSamples(interleaved_.data(), format_.encoding, count, bytes_.data()));
  if (std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size())
    return fail("cannot write: " + systemErrorText(), error);
  frames_ += frames;
  return true;
}

bool WavWriter::finish(std::string& error) {
  if (file_ == nullptr) {
    error = path_ + ": not open";
    return false;
  }
  const int64_t dataBytes = frames_ * format_.channels * bytesPerSample(format_.encoding);
  if ((dataBytes & 1) != 0 && std::fputc(0, file_) == EOF)
    return fail("cannot write: " + systemErrorText(), error);
  if (!seekFile(file_, 0, SEEK_SET) || !writeHeader() || std::fflush(file_) != 0)
    return fail("cannot write: " + systemErrorText(), error);
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0) {
    removeFile(temporaryPath_);
    error = path_ + ": cannot write: " + systemErrorText();
    return false;
  }
  std::string reason;
  if (!replaceFile(temporaryPath_, path_, reason)) {
    removeFile(temporaryPath_);
    error = path_ + ": cannot replace the file: " + reason;
    return false;
  }
  return true;
}

bool writeWavFile(const std::string& path, const WavFormat& format,
                  const std::vector<std::vector<float>>& channels, std::string& error) {
  if (channels.size() != static_cast<size_t>(format.channels)) {
    error = path + ": " + std::to_string(channels.size()) + " channels given for a " +
            std::to_string(format.channels) + "-channel file";
    return false;
  }
  WavWriter writer;
  if (!writer.open(path, format, error)) return false;
  const size_t frames = channels.empty() ? 0 : channels[0].size();
  std::vector<const float*> pointers(channels.size());
  constexpr size_t kChunk = 65536;
  for (size_t done = 0; done < frames; done += kChunk) {
    for (size_t c = 0; c < channels.size(); ++c) pointers[c] = channels[c].data() + done;
    const int32_t n = static_cast<int32_t>(std::min(kChunk, frames - done));
    if (!writer.write(pointers.data(), n, error)) return false;
  }
  return writer.finish(error);
}
