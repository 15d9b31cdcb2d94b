#pragma once
// The eight bands of the vocoder, numbered 1 to 8 in ascending frequency: each band's
// coefficients and states, kept lane by lane (band 1 in lane 0 of every array), so that a band
// kernel (band_kernel.h) runs the eight bands side by side straight on the values kept here.
// Every operation by band number ignores a number outside 1 to 8.
//
// Audio thread only once processing runs (the tests read it while none does): nothing here
// allocates, locks, calls the system or throws.

#include <cstdint>

#include "engine/band_filter.h"
#include "engine/band_kernel.h"
#include "engine/band_kernel_choice.h"

class BandFilterBank {
 public:
  explicit BandFilterBank(BandKernelKind kernel = chooseBandKernel());

  // Tunes one band; its states are left alone.
  void setCoefficients(int32_t band, float angle, float bandwidth, float inputScale = 1.0f);
  void setState(int32_t band, float speechZ1, float speechZ2, float carrierZ1, float carrierZ2,
                float envZ1);
  // Copies the whole record of `band` into `out`; leaves `out` alone for a bad band number.
  void getBand(int32_t band, BandFilter& out) const;

  // Runs `kernel` from now on, or the SSE2 kernel where the processor cannot run it.
  void useKernel(BandKernelKind kernel);
  BandKernelKind kernel() const { return kind; }

  // Writes the sum of the eight products for n samples to `work`, multiplied by the gate's
  // gain when there is one, and advances every band's states.
  void run(const SliceInputs& in, const SliceSettings& settings, float* work, int32_t n) {
    const StretchCounts counts = runKernel(bands, in, settings, work, n);
    stretchTotals.run += counts.run;
    stretchTotals.speculated += counts.speculated;
    stretchTotals.fellBack += counts.fellBack;
  }

  // The kernel's stretches since the bank was made (StretchCounts in band_kernel.h), for the
  // benchmark's figures.
  struct StretchTotals {
    int64_t run, speculated, fellBack;
  };
  const StretchTotals& stretches() const { return stretchTotals; }

 private:
  BandLanes bands;
  BandKernelKind kind;
  BandKernel runKernel;
  StretchTotals stretchTotals;
};
