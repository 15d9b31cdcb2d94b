#include "tools/mvrender/carrier_generator.h"

#include <cmath>

namespace {

// The residual of a band-limited step, spread over the sample before and after the jump.
// `t` is the phase in 0 to 1, `dt` the phase increment per sample.
double polyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

}  // namespace

bool parseCarrierWave(const std::string& text, CarrierWave& wave) {
  if (text == "saw" || text == "sawtooth") {
    wave = CarrierWave::kSaw;
  } else if (text == "chord" || text == "major") {
    wave = CarrierWave::kMajorChord;
  } else if (text == "minor") {
    wave = CarrierWave::kMinorChord;
  } else {
    return false;
  }
  return true;
}

const char* carrierWaveName(CarrierWave wave) {
  switch (wave) {
    case CarrierWave::kSaw: return "sawtooth";
    case CarrierWave::kMajorChord: return "major chord";
    case CarrierWave::kMinorChord: return "minor chord";
  }
  return "?";
}

CarrierGenerator::CarrierGenerator(CarrierWave wave, double pitchHz, double sampleRate) {
  // Semitones above the root of each voice.
  int intervals[kMaxVoices] = {0, 0, 0};
  if (wave == CarrierWave::kSaw) {
    voices_ = 1;
    level_ = 0.8f;
  } else {
    voices_ = 3;
    intervals[1] = wave == CarrierWave::kMajorChord ? 4 : 3;
    intervals[2] = 7;
    level_ = 0.3f;
  }
  for (int v = 0; v < kMaxVoices; ++v) {
    const double hz = pitchHz * std::pow(2.0, intervals[v] / 12.0);
    increment_[v] = sampleRate > 0.0 ? std::fmin(std::fmax(hz / sampleRate, 0.0), 0.45) : 0.0;
    // The voices start apart so that their jumps do not line up into one click per period.
    phase_[v] = v / static_cast<double>(kMaxVoices);
  }
}

void CarrierGenerator::generate(float* out, int32_t frames) {
  for (int32_t i = 0; i < frames; ++i) {
    double sum = 0.0;
    for (int v = 0; v < voices_; ++v) {
      const double t = phase_[v];
      const double dt = increment_[v];
      sum += 2.0 * t - 1.0 - (dt > 0.0 ? polyBlep(t, dt) : 0.0);
      phase_[v] = t + dt;
      if (phase_[v] >= 1.0) phase_[v] -= 1.0;
    }
    out[i] = static_cast<float>(sum) * level_;
  }
}
