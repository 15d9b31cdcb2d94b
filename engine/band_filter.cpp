#include "engine/band_filter.h"

#include <cmath>

BandFilter::BandFilter()
    : b1(0.0f), b2(0.0f), a0(0.0f), a1(0.0f), speechZ1(0.0f), speechZ2(0.0f), carrierZ1(0.0f),
      carrierZ2(0.0f), envZ1(0.0f) {}

void BandFilter::setCoefficients(float angle, float bandwidth) {
  const double k = std::sqrt(0.3) / std::sqrt(1.0 - 0.3);  // sqrt(3/7)
  const double B = 1.0 / (k * std::tan(static_cast<double>(bandwidth) / 2.0) + 1.0);
  b1 = static_cast<float>(-2.0 * B * std::cos(static_cast<double>(angle)));
  b2 = static_cast<float>(2.0 * B - 1.0);
  const float gain = static_cast<float>(1.0 - B);
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
