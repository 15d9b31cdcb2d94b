#include "engine/band_tuning.h"

#include <cmath>

#include "engine/parameters.h"

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

}  // namespace

BandTuning tuneBand(float frequency, float width, float sampleRate) {
  double hz = static_cast<double>(frequency) * kFrequencyScale;
  if (hz < kLowestCentre) hz = kLowestCentre;
  // Radians per sample per hertz: pi over the Nyquist frequency, rounded to a 32-bit float.
  const float radiansPerHertz = static_cast<float>(kPi / (static_cast<double>(sampleRate) / 2.0));
  const float angle = static_cast<float>(hz * static_cast<double>(radiansPerHertz));

  const double w = clampToUnit(width);
  const double bandwidth = (std::exp(kWidthCurve * w) - 1.0) * kBandwidthScale *
                           static_cast<double>(angle) * kBandwidthPerAngle;
  return {angle, static_cast<float>(bandwidth)};
}
