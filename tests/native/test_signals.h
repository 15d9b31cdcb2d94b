#pragma once
// Deterministic test signals: the same seed gives the same samples on every build.

#include <cmath>
#include <cstdint>
#include <vector>

namespace signals {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSampleRate = 44100.0;

// xorshift32: small, fast and identical everywhere.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in [-1, 1).
  float bipolar() {
    return static_cast<float>(static_cast<int32_t>(next()) * (1.0 / 2147483648.0));
  }
  // Uniform in [0, 1).
  double unit() { return (next() >> 8) * (1.0 / 16777216.0); }
  int between(int low, int high) {
    return low + static_cast<int>(next() % static_cast<uint32_t>(high - low + 1));
  }

 private:
  uint32_t state_;
};

inline std::vector<float> silence(int n) {
  return std::vector<float>(static_cast<size_t>(n), 0.0f);
}

inline std::vector<float> noise(int n, uint32_t seed, float level) {
  Random random(seed);
  std::vector<float> out(static_cast<size_t>(n));
  for (float& v : out) v = level * random.bipolar();
  return out;
}

// A sine at `radians` per sample.
inline std::vector<float> sine(int n, double radians, float amplitude, double phase = 0.0) {
  std::vector<float> out(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k)
    out[static_cast<size_t>(k)] = static_cast<float>(amplitude * std::sin(radians * k + phase));
  return out;
}

// Something like speech: syllables of a decaying pulse train whose pitch glides between 90 and
// 220 Hz, crude formants from two damped resonances per pulse, noisy fricatives and pauses.
inline std::vector<float> speechLike(int n, uint32_t seed, float level) {
  Random random(seed);
  std::vector<float> out(static_cast<size_t>(n), 0.0f);
  int k = 0;
  while (k < n) {
    const int kind = random.between(0, 5);
    const int length = random.between(2000, 9000);
    const int end = k + length < n ? k + length : n;
    if (kind <= 3) {  // voiced
      const double pitchStart = 90.0 + 130.0 * random.unit();
      const double pitchEnd = 90.0 + 130.0 * random.unit();
      const double formant1 = 2.0 * kPi * (300.0 + 500.0 * random.unit()) / kSampleRate;
      const double formant2 = 2.0 * kPi * (900.0 + 1500.0 * random.unit()) / kSampleRate;
      double phase = 1.0;
      int sincePulse = 0;
      for (int i = k; i < end; ++i) {
        const double t = static_cast<double>(i - k) / length;
        const double pitch = pitchStart + (pitchEnd - pitchStart) * t;
        phase += pitch / kSampleRate;
        if (phase >= 1.0) {
          phase -= 1.0;
          sincePulse = 0;
        }
        const double decay = std::exp(-sincePulse / 60.0);
        const double voice =
            decay * (0.6 * std::sin(formant1 * sincePulse) + 0.4 * std::sin(formant2 * sincePulse));
        const double syllable = std::sin(kPi * t);
        out[static_cast<size_t>(i)] = static_cast<float>(level * syllable * voice);
        ++sincePulse;
      }
    } else if (kind == 4) {  // fricative
      for (int i = k; i < end; ++i) {
        const double t = static_cast<double>(i - k) / length;
        out[static_cast<size_t>(i)] =
            static_cast<float>(0.3 * level * std::sin(kPi * t) * random.bipolar());
      }
    }  // else a pause
    k = end;
  }
  return out;
}

inline double rms(const std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x * x;
  return v.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(v.size()));
}

inline double decibels(double ratio) { return 20.0 * std::log10(ratio); }

}  // namespace signals
