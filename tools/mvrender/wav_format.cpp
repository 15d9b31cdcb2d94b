#include "tools/mvrender/wav_format.h"

#include <cmath>
#include <cstring>

namespace {

int32_t readLe24(const unsigned char* p) {
  const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16);
  return static_cast<int32_t>(u << 8) >> 8;  // sign-extend bit 23
}

uint32_t readLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void writeLe(unsigned char* p, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

// One float to a signed integer of `bits` bits: scaled by 2^(bits-1), rounded half up, clipped.
int64_t quantise(float sample, int bits) {
  const double scale = std::ldexp(1.0, bits - 1);
  if (!(sample == sample)) return 0;
  const double v = std::floor(static_cast<double>(sample) * scale + 0.5);
  if (v > scale - 1.0) return static_cast<int64_t>(scale - 1.0);
  if (v < -scale) return static_cast<int64_t>(-scale);
  return static_cast<int64_t>(v);
}

}  // namespace

int32_t bytesPerSample(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::kPcm8: return 1;
    case SampleEncoding::kPcm16: return 2;
    case SampleEncoding::kPcm24: return 3;
    case SampleEncoding::kPcm32: return 4;
    case SampleEncoding::kFloat32: return 4;
    case SampleEncoding::kFloat64: return 8;
  }
  return 2;
}

bool isFloat(SampleEncoding encoding) {
  return encoding == SampleEncoding::kFloat32 || encoding == SampleEncoding::kFloat64;
}

const char* encodingName(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::kPcm8: return "8-bit PCM";
    case SampleEncoding::kPcm16: return "16-bit PCM";
    case SampleEncoding::kPcm24: return "24-bit PCM";
    case SampleEncoding::kPcm32: return "32-bit PCM";
    case SampleEncoding::kFloat32: return "32-bit float";
    case SampleEncoding::kFloat64: return "64-bit float";
  }
  return "?";
}

void decodeSamples(const unsigned char* bytes, SampleEncoding encoding, size_t count, float* out) {
  switch (encoding) {
    case SampleEncoding::kPcm8:
      for (size_t i = 0; i < count; ++i) out[i] = (static_cast<int>(bytes[i]) - 128) / 128.0f;
      break;
    case SampleEncoding::kPcm16:
      for (size_t i = 0; i < count; ++i) {
        const int16_t v = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        out[i] = v / 32768.0f;
      }
      break;
    case SampleEncoding::kPcm24:
      for (size_t i = 0; i < count; ++i) out[i] = readLe24(bytes + 3 * i) / 8388608.0f;
      break;
    case SampleEncoding::kPcm32:
      for (size_t i = 0; i < count; ++i) {
        const int32_t v = static_cast<int32_t>(readLe32(bytes + 4 * i));
        out[i] = static_cast<float>(v / 2147483648.0);
      }
      break;
    case SampleEncoding::kFloat32:
      for (size_t i = 0; i < count; ++i) {
        const uint32_t u = readLe32(bytes + 4 * i);
        std::memcpy(&out[i], &u, sizeof u);
      }
      break;
    case SampleEncoding::kFloat64:
      for (size_t i = 0; i < count; ++i) {
        const uint64_t u = readLe32(bytes + 8 * i) |
                           (static_cast<uint64_t>(readLe32(bytes + 8 * i + 4)) << 32);
        double d;
        std::memcpy(&d, &u, sizeof d);
        out[i] = static_cast<float>(d);
      }
      break;
  }
}

size_t encodeSamples(const float* samples, SampleEncoding encoding, size_t count,
                     unsigned char* bytes) {
  size_t clipped = 0;
  for (size_t i = 0; i < count; ++i) {
    const float s = samples[i];
    if (std::fabs(s) > 1.0f && !isFloat(encoding)) ++clipped;
    switch (encoding) {
      case SampleEncoding::kPcm8:
        bytes[i] = static_cast<unsigned char>(quantise(s, 8) + 128);
        break;
      case SampleEncoding::kPcm16:
        writeLe(bytes + 2 * i, static_cast<uint64_t>(quantise(s, 16)), 2);
        break;
      case SampleEncoding::kPcm24:
        writeLe(bytes + 3 * i, static_cast<uint64_t>(quantise(s, 24)), 3);
        break;
      case SampleEncoding::kPcm32:
        writeLe(bytes + 4 * i, static_cast<uint64_t>(quantise(s, 32)), 4);
        break;
      case SampleEncoding::kFloat32: {
        const float v = std::isfinite(s) ? s : 0.0f;
        uint32_t u;
        std::memcpy(&u, &v, sizeof u);
        writeLe(bytes + 4 * i, u, 4);
        break;
      }
      case SampleEncoding::kFloat64: {
        const double v = std::isfinite(s) ? static_cast<double>(s) : 0.0;
        uint64_t u;
        std::memcpy(&u, &v, sizeof u);
        writeLe(bytes + 8 * i, u, 8);
        break;
      }
    }
  }
  return clipped;
}
