#include "engine/band_filter.h"

#include <cmath>

namespace {

// The resonance's shape: k = sqrt(q / (1 - q)) with q = 0.3, that is sqrt(3/7).
constexpr double kShape = 0.3;

}  // namespace

void BandFilter::setCoefficients(float angle, float bandwidth, float inputScale) {
  const double k = std::sqrt(kShape) / std::sqrt(1.0 - kShape);
  const double B = 1.0 / (k * std::tan(static_cast<double>(bandwidth) / 2.0) + 1.0);
  b1 = static_cast<float>(-2.0 * B * std::cos(static_cast<double>(angle)));
  b2 = static_cast<float>(2.0 * B - 1.0);
  // At a scale of 1 this is 1 - B exactly.
  const float gain = static_cast<float>((1.0 - B) * static_cast<double>(inputScale));
  a0 = gain;
  a1 = -gain;
}

void BandFilter::setState(float newSpeechZ1, float newSpeechZ2, float newCarrierZ1,
                          float newCarrierZ2, float newEnvZ1) {
  speechZ1 = newSpeechZ1;
  speechZ2 = newSpeechZ2;
  carrierZ1 = newCarrierZ1;
  carrierZ2 = newCarrierZ2;
  envZ1 = newEnvZ1;
}
