#pragma once
// What a WAV file holds: channel count, sample rate and sample encoding, and the conversion of
// each encoding to and from 32-bit float samples in -1.0 to 1.0 (full scale).

#include <cstddef>
#include <cstdint>

enum class SampleEncoding {
  kPcm8,     // unsigned, 128 is silence
  kPcm16,
  kPcm24,
  kPcm32,
  kFloat32,
  kFloat64,
};

struct WavFormat {
  int32_t channels = 0;
  uint32_t sampleRate = 0;
  SampleEncoding encoding = SampleEncoding::kPcm16;
  bool extensible = false;  // the file's fmt chunk is WAVE_FORMAT_EXTENSIBLE
};

int32_t bytesPerSample(SampleEncoding encoding);
bool isFloat(SampleEncoding encoding);
// "16-bit PCM", "32-bit float", ...
const char* encodingName(SampleEncoding encoding);

// Little-endian bytes to floats. Integer samples are divided by 2^(bits-1), so they map to
// -1.0 up to just below 1.0; samples of up to 24 bits convert back unchanged.
void decodeSamples(const unsigned char* bytes, SampleEncoding encoding, size_t count, float* out);

// Floats to little-endian bytes. Integer encodings round to the nearest step and clip to full
// scale (never wrap around); NaN becomes silence. Float encodings keep values beyond full
// scale, and replace NaN and infinities with silence. Returns how many samples lay beyond full
// scale (magnitude above 1.0) and were clipped.
size_t encodeSamples(const float* samples, SampleEncoding encoding, size_t count,
                     unsigned char* bytes);
