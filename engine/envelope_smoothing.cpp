#include "engine/envelope_smoothing.h"

#include "engine/parameters.h"

namespace {

// The smoother's time constant at morph 1.0, in seconds.
constexpr double kLongestTimeConstant = 0.005;
// The constant term of the smoother's denominator, as a 32-bit float (0.800000011920929).
constexpr float kDenominator = 0.8f;

}  // namespace

EnvelopeSmoothing EnvelopeSmoothing::forMorph(float morph, float sampleRate) {
  const double a = static_cast<double>(clampToUnit(morph)) * kLongestTimeConstant *
                   static_cast<double>(sampleRate);
  const double b = static_cast<double>(kDenominator) + 2.0 * a;
  const float in = static_cast<float>(1.0 / b);
  return {static_cast<float>((static_cast<double>(kDenominator) - 2.0 * a) / b), in, in};
}
