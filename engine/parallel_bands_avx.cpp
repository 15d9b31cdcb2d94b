// The AVX band kernel: engine/wide_band_kernel.h, compiled for AVX (this file alone).

#include "engine/wide_band_kernel.h"

void runBandsAvx(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                 float* work, int32_t n) {
  runWideBands(bands, in, settings, work, n);
}
