// The AVX band kernel: engine/band_kernel_wide.h, compiled for AVX (this file alone).

#include "engine/band_kernel_wide.h"

StretchCounts runBandsAvx(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                          float* work, int32_t n) {
  return runWideBands(bands, in, settings, work, n);
}
