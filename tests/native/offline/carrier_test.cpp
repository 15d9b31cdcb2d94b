// The built-in carrier: its pitch (counted in rising zero crossings), the three notes of a chord
// (measured with the Goertzel filter), its level, and how little a high sawtooth aliases.

#include "tools/mvrender/carrier_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

std::vector<float> generate(CarrierWave wave, double pitch, int frames, int chunk = 1000) {
  CarrierGenerator generator(wave, pitch, kRate);
  std::vector<float> out(static_cast<size_t>(frames));
  for (int done = 0; done < frames; done += chunk)
    generator.generate(out.data() + done, std::min(chunk, frames - done));
  return out;
}

// Magnitude of one frequency in the signal, scaled so that a sine of amplitude 1 gives 1.
double goertzel(const std::vector<float>& x, double hertz) {
  const double w = 2.0 * M_PI * hertz / kRate;
  double s1 = 0.0, s2 = 0.0;
  for (float v : x) {
    const double s = v + 2.0 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double power = s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(x.size());
}

TEST(Carrier, SawtoothRepeatsAtItsPitch) {
  for (double pitch : {55.0, 110.0, 261.63, 1000.0}) {
    const std::vector<float> saw = generate(CarrierWave::kSaw, pitch, 44100);
    // The ramp falls through zero once per period, at its jump.
    int falls = 0;
    for (size_t i = 1; i < saw.size(); ++i) falls += saw[i - 1] > 0.0f && saw[i] <= 0.0f;
    EXPECT_NEAR(pitch, falls, 1.0) << pitch << " Hz";
  }
}

TEST(Carrier, ChordsHoldRootThirdAndFifth) {
  const double root = 110.0;
  const double major = root * std::pow(2.0, 4 / 12.0), minor = root * std::pow(2.0, 3 / 12.0);
  const double fifth = root * std::pow(2.0, 7 / 12.0);
  const std::vector<float> majorChord = generate(CarrierWave::kMajorChord, root, 44100);
  const std::vector<float> minorChord = generate(CarrierWave::kMinorChord, root, 44100);
  for (double f : {root, major, fifth}) EXPECT_GT(goertzel(majorChord, f), 0.1) << f;
  EXPECT_LT(goertzel(majorChord, minor), 0.01);
  for (double f : {root, minor, fifth}) EXPECT_GT(goertzel(minorChord, f), 0.1) << f;
  EXPECT_LT(goertzel(minorChord, major), 0.01);
}

TEST(Carrier, StaysWithinFullScale) {
  for (CarrierWave wave : {CarrierWave::kSaw, CarrierWave::kMajorChord, CarrierWave::kMinorChord}) {
    float peak = 0.0f;
    for (float v : generate(wave, 73.0, 44100)) peak = std::max(peak, std::fabs(v));
    EXPECT_GT(peak, 0.5f) << carrierWaveName(wave);
    EXPECT_LE(peak, 0.9f) << carrierWaveName(wave);
  }
}

TEST(Carrier, HighSawtoothAliasesFarLessThanAPlainRamp) {
  // At 3000 Hz the 12th and 14th harmonics (36000 and 42000 Hz) fold back to 8100 and 2100 Hz,
  // into the voice's range. A plain ramp puts 1/h of the fundamental's level there; the
  // band-limited one at least 20 dB less.
  const std::vector<float> saw = generate(CarrierWave::kSaw, 3000.0, 44100);
  const double fundamental = goertzel(saw, 3000.0);
  EXPECT_LT(goertzel(saw, 8100.0), fundamental / 12.0 * 0.1);
  EXPECT_LT(goertzel(saw, 2100.0), fundamental / 14.0 * 0.1);
}

}  // namespace
