#include "engine/band_filter_bank.h"

namespace {

bool isBand(int32_t band) { return band >= 1 && band <= kNumBands; }

}  // namespace

BandFilterBank::BandFilterBank(BandKernelKind kernel) : bands(), kind(), runKernel(), stretchTotals() {
  useKernel(kernel);
}

void BandFilterBank::useKernel(BandKernelKind kernel) {
  kind = runnableKernel(kernel);
  runKernel = bandKernelFor(kind);
}

void BandFilterBank::setCoefficients(int32_t band, float angle, float bandwidth,
                                     float inputScale) {
  if (!isBand(band)) return;
  BandFilter tuned;
  tuned.setCoefficients(angle, bandwidth, inputScale);
  const int32_t lane = band - 1;
  bands.b1[lane] = tuned.b1;
  bands.negB2[lane] = -tuned.b2;
  bands.a0[lane] = tuned.a0;
}

void BandFilterBank::setState(int32_t band, float newSpeechZ1, float newSpeechZ2,
                              float newCarrierZ1, float newCarrierZ2, float newEnvZ1) {
  if (!isBand(band)) return;
  const int32_t lane = band - 1;
  bands.speechZ1[lane] = newSpeechZ1;
  bands.speechZ2[lane] = newSpeechZ2;
  bands.carrierZ1[lane] = newCarrierZ1;
  bands.carrierZ2[lane] = newCarrierZ2;
  bands.envZ1[lane] = newEnvZ1;
}

void BandFilterBank::getBand(int32_t band, BandFilter& out) const {
  if (!isBand(band)) return;
  const int32_t lane = band - 1;
  out.b1 = bands.b1[lane];
  out.b2 = -bands.negB2[lane];
  out.a0 = bands.a0[lane];
  out.a1 = -bands.a0[lane];
  out.setState(bands.speechZ1[lane], bands.speechZ2[lane], bands.carrierZ1[lane],
               bands.carrierZ2[lane], bands.envZ1[lane]);
}
