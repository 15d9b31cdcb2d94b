#pragma once
// The eight bands of the vocoder, numbered 1 to 8 in ascending frequency: each band's
// coefficients and states, kept lane by lane (band 1 in lane 0 of every array), so that the
// processing runs the eight bands side by side, four to an SSE2 vector, straight on the values
// kept here. Every operation by band number ignores a number outside 1 to 8.
//
// Audio thread only once processing runs (the tests read it while none does): nothing here
// allocates, locks, calls the system or throws.

#include <cstdint>

#include "engine/band_filter.h"

constexpr int32_t kNumBands = 8;

// What one slice reads once: the output gain and the envelope smoother's coefficients (its
// two input weights are always the same value).
struct SliceSettings {
  float gain;
  float envIn0, envFb;
};

// Per-sample inputs of a slice, as pairs (band 1's input, the input of bands 2 to 8): band 1
// takes each sample flushed as it came in, bands 2 to 8 what band 1 left in the host's buffer.
// `gateGains`, when not null, holds the chopper gate's gain for each sample.
struct SliceInputs {
  const float* speechPairs;
  const float* carrierPairs;
  const float* gateGains;
};

class BandFilterBank {
 public:
  BandFilterBank();

  // Tunes one band; its states are left alone.
  void setCoefficients(int32_t band, float angle, float bandwidth);
  void setState(int32_t band, float speechZ1, float speechZ2, float carrierZ1, float carrierZ2,
                float envZ1);
  // Copies the whole record of `band` into `out`; leaves `out` alone for a bad band number.
  void getBand(int32_t band, BandFilter& out) const;

  // Writes the sum of the eight products for n samples to `work`, multiplied by the gate's
  // gain when there is one, and advances every band's states (parallel_bands.cpp).
  void run(const SliceInputs& in, const SliceSettings& settings, float* work, int32_t n);

 private:
  // a1 is not kept: the tuning always makes it exactly -a0.
  float b1[kNumBands];
  float negB2[kNumBands];  // -b2, so that the product is formed as in -b2 * y
  float a0[kNumBands];
  float speechZ1[kNumBands];
  float speechZ2[kNumBands];
  float carrierZ1[kNumBands];
  float carrierZ2[kNumBands];
  float envZ1[kNumBands];
};
