#pragma once
// The rendering that the native build and the DLL must agree on: two seconds of known input,
// cut into blocks of varied lengths, with parameters changed between blocks. The inputs are
// made with integer and basic floating-point arithmetic only (no library mathematics), so both
// platforms generate the same bits; the native build writes its output to
// processing_reference.f32 beside this file (write_processing_reference), which the Wine test
// holds the DLL's output against.
//
// File format: 8 bytes "MVREF001", a 32-bit little-endian sample count, then the samples of
// output 1 as 32-bit little-endian floats.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/parameters.h"

namespace reference_case {

constexpr int kFrames = 2 * 44100;
constexpr char kMagic[8] = {'M', 'V', 'R', 'E', 'F', '0', '0', '1'};

struct Change {
  int at;  // the frame before whose block the change is made (always a block start)
  int32_t index;
  float value;
};

// After one second: wider bands, quicker envelopes, louder, a faster gate. After 1.5 s: roles
// swapped and the gate bypassed.
inline std::vector<Change> changes() {
  return {{44100, kFilter, 0.7f},   {44100, kMorph, 0.5f},    {44100, kGain, 0.5f},
          {44100, kFreq, 0.3f},     {66150, kSwitchCS, 1.0f}, {66150, kMulchIO, 0.0f},
          {66150, kCarrier, 0.8f}};
}

// Block lengths, cycled; the stream is cut at every change as well.
inline std::vector<int> blockLengths() { return {512, 3001, 64, 4096, 1000, 1, 2999}; }

inline uint32_t nextRandom(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// Speech-like: syllables of pulses at an integer period, each pulse ringing in a resonator run
// by float arithmetic, under a triangular envelope, with some noise.
inline std::vector<float> speech() {
  std::vector<float> s(kFrames, 0.0f);
  uint32_t state = 12345;
  const int periods[] = {200, 260, 180, 330, 240, 150};
  const float c2[] = {1.9600f, 1.9000f, 1.7500f};  // 2 r cos(angle) of three formants
  int k = 0;
  for (int syllable = 0; k < kFrames; ++syllable) {
    const int length = 6000 + static_cast<int>(nextRandom(state) % 4000);
    const int period = periods[syllable % 6];
    const float ring = c2[syllable % 3];
    float y1 = 0.0f, y2 = 0.0f;
    for (int i = 0; i < length && k < kFrames; ++i, ++k) {
      const float pulse = (i % period == 0) ? 1.0f : 0.0f;
      const float y = pulse + ring * y1 - 0.97f * y2;
      y2 = y1;
      y1 = y;
      const float rise = static_cast<float>(i) / static_cast<float>(length);
      const float envelope = rise < 0.5f ? 2.0f * rise : 2.0f * (1.0f - rise);
      const float noise =
          static_cast<float>(static_cast<int32_t>(nextRandom(state))) * 4.656613e-10f;
      s[k] = envelope * (0.05f * y + 0.05f * noise);
    }
  }
  return s;
}

// Carrier: a sawtooth at an integer period of 401 samples (about 110 Hz) with noise.
inline std::vector<float> carrier() {
  std::vector<float> c(kFrames);
  uint32_t state = 777;
  for (int k = 0; k < kFrames; ++k) {
    const float saw = static_cast<float>(k % 401) / 200.5f - 1.0f;
    const float noise = static_cast<float>(static_cast<int32_t>(nextRandom(state))) * 4.656613e-10f;
    c[k] = 0.3f * saw + 0.1f * noise;
  }
  return c;
}

// Runs the case through a processReplacing and a setParameter of the caller's choice (the
// effect object itself, or the record of a loaded DLL) and returns output 1; `outputsDiffer` is
// set when output 2 ever differs from output 1.
template <typename Process, typename SetParameter>
std::vector<float> render(Process process, SetParameter setParameter, bool& outputsDiffer) {
  const std::vector<float> speechIn = speech(), carrierIn = carrier();
  std::vector<float> in1 = speechIn, in2 = carrierIn, out1(kFrames), out2(kFrames);
  const std::vector<Change> changeList = changes();
  const std::vector<int> lengths = blockLengths();
  outputsDiffer = false;
  size_t next = 0;
  for (int done = 0; done < kFrames;) {
    for (const Change& change : changeList)
      if (change.at == done) setParameter(change.index, change.value);
    int n = lengths[next++ % lengths.size()];
    for (const Change& change : changeList)
      if (change.at > done && change.at - done < n) n = change.at - done;
    if (n > kFrames - done) n = kFrames - done;
    float* inputs[2] = {in1.data() + done, in2.data() + done};
    float* outputs[2] = {out1.data() + done, out2.data() + done};
    process(inputs, outputs, n);
    if (std::memcmp(out1.data() + done, out2.data() + done, sizeof(float) * n) != 0)
      outputsDiffer = true;
    done += n;
  }
  return out1;
}

inline bool writeFile(const std::string& path, const std::vector<float>& samples) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const uint32_t count = static_cast<uint32_t>(samples.size());
  unsigned char header[12];
  std::memcpy(header, kMagic, 8);
  for (int i = 0; i < 4; ++i) header[8 + i] = static_cast<unsigned char>(count >> (8 * i));
  bool ok = std::fwrite(header, 1, 12, f) == 12;
  for (float v : samples) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    ok = ok && std::fwrite(bytes, 1, 4, f) == 4;
  }
  return std::fclose(f) == 0 && ok;
}

// Reads a file written by writeFile; false when it is missing or malformed.
inline bool readFile(const std::string& path, std::vector<float>& samples) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  unsigned char header[12];
  bool ok = std::fread(header, 1, 12, f) == 12 && std::memcmp(header, kMagic, 8) == 0;
  uint32_t count = 0;
  for (int i = 0; i < 4; ++i) count |= static_cast<uint32_t>(header[8 + i]) << (8 * i);
  samples.clear();
  for (uint32_t k = 0; ok && k < count; ++k) {
    unsigned char bytes[4];
    ok = std::fread(bytes, 1, 4, f) == 4;
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    float v;
    std::memcpy(&v, &bits, 4);
    samples.push_back(v);
  }
  std::fclose(f);
  return ok;
}

}  // namespace reference_case
