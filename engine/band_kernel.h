#pragma once
// A band kernel runs the eight bands of the vocoder over one slice: it reads each sample's
// speech and carrier inputs, advances every band's filters and envelope, and writes the sum of
// the eight products. There is one kernel for every processor (SSE2, parallel_bands.cpp) and
// one each for processors with AVX and with AVX2 (wide_band_kernel.h); all compute exactly the
// samples and states of running the bands one after another, so which one runs changes the
// speed only.
//
// Audio thread only: a kernel allocates nothing, locks nothing, calls no system function and
// never throws.

#include <cstdint>

constexpr int32_t kNumBands = 8;

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
