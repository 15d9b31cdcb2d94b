#pragma once
// A band kernel runs the eight bands of the vocoder over one slice: it reads each sample's
// speech and carrier inputs, advances every band's filters and envelope, and writes the sum of
// the eight products. The family:
//
//   band_kernel.h         what every kernel takes and shares (this file)
//   band_kernel_sse2.cpp  the kernel every processor runs: two 128-bit vectors of four bands
//   band_kernel_wide.h    the kernel for 256-bit vectors, all eight bands in one, compiled by
//   band_kernel_avx.cpp     band_kernel_avx.cpp for processors with AVX
//   band_kernel_avx2.cpp    and band_kernel_avx2.cpp for those with AVX2
//   band_kernel_choice.*  which kernel a vocoder runs
//
// Every kernel computes, lane by lane and operation for operation, what the band-by-band form
// computes: the steps of channel_vocoder_processing.cpp, one band after another, written out
// one operation at a time in tests/fixtures/band_by_band_vocoder.h, which the tests hold every
// kernel against. The products are summed in band order, band 1 first, so the samples and
// states are exactly the band-by-band form's, and which kernel runs changes the speed only.
//
// Audio thread only: a kernel allocates nothing, locks nothing, calls no system function and
// never throws.

#include <cstdint>

constexpr int32_t kNumBands = 8;

// The make-up gain of every band's product e * y_c * gain * kProductScale. The product of two
// band signals, the speech's envelope and the carrier's band, goes with the square of the input
// level, and a band passes a sine at its centre at half its amplitude A, at every width: left
// unscaled, the product would come out at about 0.2 A^2, that is 0.002 (-54 dBFS) for inputs at
// 0.1 (-20 dBFS). Scaled by 500, at the default gain 0.3, a sine of 0.033 (-30 dBFS) on both
// inputs at a band's centre comes out at its own level, and one of 0.18 (-15 dBFS) at full
// scale. The value is part of the plug-in's sound, which every build keeps bit for bit.
constexpr float kProductScale = 500.0f;

// The samples a kernel steps through before it sums their products: the products of a stretch,
// eight floats to a sample (2 KiB), stay in the first-level cache from the step to the sum.
constexpr int32_t kKernelStretch = 64;

// The eight bands' coefficients and states lane by lane: band 1 in element 0 of every array,
// band 8 in element 7.
struct BandLanes {
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

// Writes the sum of the eight products for n samples to `work`, multiplied by the gate's gain
// when there is one, and advances every band's states.
using BandKernel = void (*)(BandLanes& bands, const SliceInputs& in,
                            const SliceSettings& settings, float* work, int32_t n);

void runBandsSse2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                  float* work, int32_t n);
// Only on a processor and system that run AVX, or AVX2 (bandKernelFor checks).
void runBandsAvx(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                 float* work, int32_t n);
void runBandsAvx2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                  float* work, int32_t n);
