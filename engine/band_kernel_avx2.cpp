// The AVX2 band kernel: engine/band_kernel_wide.h, compiled for AVX2 (this file alone).

#include "engine/band_kernel_wide.h"

StretchCounts runBandsAvx2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                           float* work, int32_t n) {
  return runWideBands(bands, in, settings, work, n);
}
