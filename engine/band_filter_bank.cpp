#include "engine/band_filter_bank.h"

#include <new>

BandFilterBank::BandFilterBank() {
  for (BandFilter*& band : bands) band = nullptr;
  for (BandFilter*& band : bands) {
    band = new (std::nothrow) BandFilter;
    if (band == nullptr) return;
  }
}

BandFilterBank::~BandFilterBank() {
  for (BandFilter* band : bands) delete band;
}

bool BandFilterBank::complete() const { return bands[kNumBands - 1] != nullptr; }

BandFilter* BandFilterBank::record(int32_t band) const {
  return (band >= 1 && band <= kNumBands) ? bands[band - 1] : nullptr;
}

void BandFilterBank::setCoefficients(int32_t band, float angle, float bandwidth) {
  if (BandFilter* r = record(band)) r->setCoefficients(angle, bandwidth);
}

void BandFilterBank::setState(int32_t band, float speechZ1, float speechZ2, float carrierZ1,
                              float carrierZ2, float envZ1) {
  if (BandFilter* r = record(band)) r->setState(speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1);
}

void BandFilterBank::getBand(int32_t band, BandFilter& out) const {
  if (const BandFilter* r = record(band)) out = *r;
}
