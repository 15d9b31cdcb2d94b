#include "engine/band_tuning.h"

#include <cmath>

#include "engine/parameters.h"
#include "engine/sample_rate.h"

namespace {

// A normalised band frequency times this is the band's centre in hertz.
constexpr double kFrequencyScale = 20000.0;
// No band is tuned below this many hertz.
constexpr double kLowestCentre = 50.0;
// Pi as the tuning writes it: the angles are computed with 3.1415.
constexpr double kPi = 3.1415;
// The bandwidth grows with the width as e^(kWidthCurve width) - 1 ...
constexpr double kWidthCurve = 3.0;
// ... times these two factors and the centre angle, multiplied from left to right in this
// order (their product, 0.02, would round differently).
constexpr double kBandwidthScale = 0.05;
constexpr double kBandwidthPerAngle = 0.4;

// The angle of `hz` in radians per sample: hz times pi over the Nyquist frequency, the latter
// rounded to a 32-bit float first.
float angleOf(double hz, float sampleRate) {
  const float radiansPerHertz = static_cast<float>(kPi / (static_cast<double>(sampleRate) / 2.0));
  return static_cast<float>(hz * static_cast<double>(radiansPerHertz));
}

}  // namespace

BandTuning tuneBand(float frequency, float width, float sampleRate) {
  double hz = static_cast<double>(frequency) * kFrequencyScale;
  if (hz < kLowestCentre) hz = kLowestCentre;
  const float angle = angleOf(hz, sampleRate);
  // At 44100 Hz both angles are the same float, and the scale is x / x = 1 exactly.
  const double designAngle = static_cast<double>(angleOf(hz, kDefaultSampleRate));
  const double inputScale =
      std::cos(static_cast<double>(angle) / 2.0) / std::cos(designAngle / 2.0);

  const double w = clampToUnit(width);
  const double bandwidth = (std::exp(kWidthCurve * w) - 1.0) * kBandwidthScale *
                           static_cast<double>(angle) * kBandwidthPerAngle;
  return {angle, static_cast<float>(bandwidth), static_cast<float>(inputScale)};
}
