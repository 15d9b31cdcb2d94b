#include "engine/band_filter_bank.h"

namespace {

bool isBand(int32_t band) { return band >= 1 && band <= kNumBands; }

}  // namespace

BandFilterBank::BandFilterBank()
    : b1(), negB2(), a0(), speechZ1(), speechZ2(), carrierZ1(), carrierZ2(), envZ1() {}

void BandFilterBank::setCoefficients(int32_t band, float angle, float bandwidth) {
  if (!isBand(band)) return;
  BandFilter tuned;
  tuned.setCoefficients(angle, bandwidth);
  const int32_t lane = band - 1;
  b1[lane] = tuned.b1;
  negB2[lane] = -tuned.b2;
  a0[lane] = tuned.a0;
}

void BandFilterBank::setState(int32_t band, float newSpeechZ1, float newSpeechZ2,
                              float newCarrierZ1, float newCarrierZ2, float newEnvZ1) {
  if (!isBand(band)) return;
  const int32_t lane = band - 1;
  speechZ1[lane] = newSpeechZ1;
  speechZ2[lane] = newSpeechZ2;
  carrierZ1[lane] = newCarrierZ1;
  carrierZ2[lane] = newCarrierZ2;
  envZ1[lane] = newEnvZ1;
}

void BandFilterBank::getBand(int32_t band, BandFilter& out) const {
  if (!isBand(band)) return;
  const int32_t lane = band - 1;
  out.b1 = b1[lane];
  out.b2 = -negB2[lane];
  out.a0 = a0[lane];
  out.a1 = -a0[lane];
  out.setState(speechZ1[lane], speechZ2[lane], carrierZ1[lane], carrierZ2[lane], envZ1[lane]);
}
