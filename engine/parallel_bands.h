#pragma once
// The eight band passes of one slice, run side by side: bands 1 to 4 fill the four lanes of one
// SSE2 vector and bands 5 to 8 those of another, so that one step advances every band by one
// sample. Each lane does what a band pass does alone, operation for operation (see
// vocoder_processing.cpp), and the lanes' products are summed in band order, band 1 first, so
// the samples, states and write-backs are exactly those of running the bands one after another.
// That plain form lives on in tests/reference/band_by_band_vocoder.h, and the tests require the
// two to agree bit for bit.
//
// Audio thread only: nothing here allocates, locks, calls the system or throws.

#include <cstdint>

#include "engine/band_filter_bank.h"
#include "engine/float4.h"

// What one slice reads once: the output gain and the envelope smoother's coefficients.
struct SliceSettings {
  float gain;
  float envIn0, envIn1, envFb;
};

// Per-sample inputs of a slice, as pairs (band 1's input, the input of bands 2 to 8): band 1
// takes each sample flushed as it came in, bands 2 to 8 what band 1 left in the host's buffer.
// `gateGains`, when not null, holds the chopper gate's gain for each sample (see
// chopper_gate.cpp).
struct SliceInputs {
  const float* speechPairs;
  const float* carrierPairs;
  const float* gateGains;
};

class ParallelBands {
 public:
  // Four bands in the lanes of SSE2 vectors: coefficients, then the five states.
  struct Lanes {
    Float4 b1, negB2, a0, a1;
    Float4 speechZ1, speechZ2, carrierZ1, carrierZ2, envZ1;
  };

  // Copies the eight records out of the bank: the coefficients as they stand now, and the states.
  explicit ParallelBands(const BandFilterBank& bank);

  // Replaces the copy of one band's record (1 to 8); ignores other band numbers.
  void setRecord(int32_t band, const BandFilter& record);

  // Stores the states back; the coefficients in the bank are not written.
  void storeStates(BandFilterBank& bank) const;

  // Writes the sum of the eight products for n samples to `work`, multiplied by the gate's
  // gain when there is one.
  void run(const SliceInputs& in, const SliceSettings& settings, float* work, int32_t n);

 private:
  Lanes lanes(int32_t first) const;
  void storeLanes(const Lanes& l, int32_t first);
  template <bool kTuned>
  void runLanes(const SliceInputs& in, const SliceSettings& settings, float* work, int32_t n);

  // Lanes 0 to 3: bands 1 to 4; lanes 4 to 7: bands 5 to 8.
  alignas(16) float b1[8];
  alignas(16) float negB2[8];  // -b2, so that the product is formed as in -b2 * y
  alignas(16) float a0[8];
  alignas(16) float a1[8];
  alignas(16) float speechZ1[8];
  alignas(16) float speechZ2[8];
  alignas(16) float carrierZ1[8];
  alignas(16) float carrierZ2[8];
  alignas(16) float envZ1[8];
};
