#pragma once
// The eight band records, numbered 1 to 8 in ascending frequency. Every operation ignores a
// band number outside 1 to 8.

#include <cstdint>

#include "engine/band_filter.h"

constexpr int32_t kNumBands = 8;

class BandFilterBank {
 public:
  // Allocates the eight records, band 1 first. If one cannot be allocated the bank is not
  // complete and must not be used; the effect then reports that it is out of memory.
  BandFilterBank();
  ~BandFilterBank();

  BandFilterBank(const BandFilterBank&) = delete;
  BandFilterBank& operator=(const BandFilterBank&) = delete;

  bool complete() const;

  void setCoefficients(int32_t band, float angle, float bandwidth);
  void setState(int32_t band, float speechZ1, float speechZ2, float carrierZ1, float carrierZ2,
                float envZ1);
  // Copies the whole record of `band` into `out`; leaves `out` alone for a bad band number.
  void getBand(int32_t band, BandFilter& out) const;

 private:
  BandFilter* record(int32_t band) const;

  BandFilter* bands[kNumBands];
};
