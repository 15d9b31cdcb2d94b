// Writes the known signals of the render tests and what the engine itself makes of them, with
// no DLL and no host in between: the vocoder's core is linked in and given the whole signal in
// one call.
//
//   engine_reference DIR
//
// DIR/speech.wav    2 s, 32-bit float mono: noise and two tones under a syllable-rate envelope
// DIR/carrier.wav   1.5 s, 32-bit float mono: a ramp at 110 Hz with a fifth above (shorter, so
//                   that the render pads it)
// DIR/stereo.wav    the two in one stereo file, left speech, right carrier padded with silence
// DIR/reference.wav           the engine's output, default program (gate on), 32-bit float stereo
// DIR/reference_nogate.wav    the same with parameter 7 ("mulch I/O") at 0

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/channel_vocoder.h"
#include "tools/mvrender/wav_writer.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr size_t kSpeechFrames = 2 * kRate;
constexpr size_t kCarrierFrames = 3 * kRate / 2;

std::vector<float> speechSignal() {
  std::vector<float> s(kSpeechFrames);
  uint32_t state = 2024;
  for (size_t i = 0; i < s.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    const double noise = static_cast<int32_t>(state) / 2147483648.0;
    const double t = static_cast<double>(i) / kRate;
    const double envelope = 0.5 + 0.5 * std::sin(2.0 * kPi * 3.0 * t);
    const double voiced = 0.3 * std::sin(2.0 * kPi * 220.0 * t) + 0.2 * std::sin(2.0 * kPi * 1250.0 * t);
    s[i] = static_cast<float>(envelope * (0.3 * noise + voiced));
  }
  return s;
}

std::vector<float> carrierSignal() {
  std::vector<float> c(kCarrierFrames);
  for (size_t i = 0; i < c.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    c[i] = static_cast<float>(0.4 * (2.0 * std::fmod(110.0 * t, 1.0) - 1.0) +
                              0.3 * (2.0 * std::fmod(165.0 * t, 1.0) - 1.0));
  }
  return c;
}

bool write(const std::string& path, int channels, const std::vector<std::vector<float>>& data) {
  WavFormat format;
  format.channels = channels;
  format.sampleRate = kRate;
  format.encoding = SampleEncoding::kFloat32;
  std::string error;
  if (writeWavFile(path, format, data, error)) return true;
  std::fprintf(stderr, "engine_reference: %s\n", error.c_str());
  return false;
}

std::vector<std::vector<float>> engineOutput(const std::vector<float>& speech,
                                             const std::vector<float>& carrier, bool gated) {
  ChannelVocoder vocoder;
  vocoder.setParameter(kMulchIO, gated ? 1.0f : 0.0f);
  std::vector<float> in1 = speech, in2 = carrier;
  std::vector<std::vector<float>> out(2, std::vector<float>(speech.size()));
  vocoder.process(in1.data(), in2.data(), out[0].data(), out[1].data(),
                  static_cast<int32_t>(speech.size()));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: engine_reference DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const std::vector<float> speech = speechSignal();
  std::vector<float> carrier = carrierSignal();
  bool ok = write(dir + "speech.wav", 1, {speech}) && write(dir + "carrier.wav", 1, {carrier});
  carrier.resize(speech.size(), 0.0f);
  ok = ok && write(dir + "stereo.wav", 2, {speech, carrier}) &&
       write(dir + "reference.wav", 2, engineOutput(speech, carrier, true)) &&
       write(dir + "reference_nogate.wav", 2, engineOutput(speech, carrier, false));
  return ok ? 0 : 1;
}
