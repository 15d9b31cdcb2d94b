#pragma once
// The built-in carrier for people who only have a voice recording: a bright, band-limited
// sawtooth, or a triad of three of them, at a fixed pitch. A sawtooth holds every harmonic,
// so every band of the vocoder has something to shape.
//
// Band-limiting: each sawtooth is the naive ramp with its jump smoothed by a two-sample
// polynomial (PolyBLEP), which removes most of the aliasing that a plain ramp folds back below
// the pitch, at the cost of a few multiplications a sample.

#include <cstdint>
#include <string>

enum class CarrierWave {
  kSaw,
  kMajorChord,  // root, major third, fifth
  kMinorChord,  // root, minor third, fifth
};

// "saw", "chord" (= "major"), "major", "minor"; false for anything else.
bool parseCarrierWave(const std::string& text, CarrierWave& wave);
const char* carrierWaveName(CarrierWave wave);

class CarrierGenerator {
 public:
  // `pitchHz` must lie below a quarter of `sampleRate` (the top of a chord at most 0.375).
  CarrierGenerator(CarrierWave wave, double pitchHz, double sampleRate);

  // Writes the next `frames` samples; the waveform continues across calls.
  void generate(float* out, int32_t frames);

 private:
  static constexpr int kMaxVoices = 3;
  int voices_;
  double increment_[kMaxVoices];
  double phase_[kMaxVoices];
  float level_;
};
