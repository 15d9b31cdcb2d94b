#pragma once
// A band kernel runs the eight bands of the vocoder over one slice: it reads each sample's
// speech and carrier inputs, advances every band's filters and envelope, and writes the sum of
// the eight products. The family: this file, what every kernel takes and shares;
// band_kernel_sse2.cpp, the kernel every processor runs; band_kernel_wide.h, the kernel for
// 256-bit vectors, compiled by band_kernel_avx.cpp and band_kernel_avx2.cpp; and
// band_kernel_choice.*, which picks one. Each computes, operation for operation, what running
// the bands one after another computes (the band-by-band form the tests hold every kernel
// against, tests/fixtures/band_by_band_vocoder.h), so which one runs changes the speed only.
//
// Audio thread only: a kernel allocates nothing, locks nothing, calls no system function and
// never throws.

#include <cstdint>

constexpr int32_t kNumBands = 8;

// The make-up gain of every band's product e * y_c * gain * kProductScale. A product of two band
// signals goes with the square of the input level: a band passes a sine at its centre at half
// its amplitude A, so unscaled the product comes to about 0.2 A^2, -54 dBFS for inputs at
// -20 dBFS. With 500 and the default gain 0.3, a sine on both inputs at a band's centre comes
// out at its own level at -30 dBFS, and at full scale from -15 dBFS. Part of the sound: fixed.
constexpr float kProductScale = 500.0f;

// The samples a kernel steps through before it sums their products: the products of a stretch,
// eight floats to a sample (2 KiB), stay in the first-level cache from the step to the sum. A
// stretch is also what a kernel runs speculatively, without the flush, and runs again with it
// when a state left the flush's range (stretch_runner.h).
constexpr int32_t kKernelStretch = 64;

// Whether the kernels may use sixteen vector registers, as 64-bit code has, or only the eight of
// 32-bit code (and of the native build that stands in for it in the benchmark).
#if defined(__x86_64__) && !defined(MULCHVOICE_BENCH_8REG)
constexpr bool kSixteenVectorRegisters = true;
#else
constexpr bool kSixteenVectorRegisters = false;
#endif

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
//
// Every kernel forms the gated sample, sum * gain, in double precision and rounds it to a float
// once: the product of two floats is exact in a double, so that is the float product, bit for
// bit. The gate's off phases decay into subnormal gains, and a float multiply with a subnormal
// operand or result takes a microcode assist of about a hundred cycles on some processors; the
// conversions to and from double and a multiply of doubles in the normal range take none.
struct SliceInputs {
  const float* speechPairs;
  const float* carrierPairs;
  const float* gateGains;
};

// What a kernel did with a slice's stretches: how many it ran, how many of those it ran
// speculatively, and how many of these it had to run again with the flush
// (stretch_runner.h). For the benchmark's figures; the samples do not depend on it.
struct StretchCounts {
  int32_t run, speculated, fellBack;
};

// Writes the sum of the eight products for n samples to `work`, multiplied by the gate's gain
// when there is one, and advances every band's states.
using BandKernel = StretchCounts (*)(BandLanes& bands, const SliceInputs& in,
                                     const SliceSettings& settings, float* work, int32_t n);

StretchCounts runBandsSse2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                           float* work, int32_t n);
// Only on a processor and system that run AVX, or AVX2 (bandKernelFor checks).
StretchCounts runBandsAvx(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                          float* work, int32_t n);
StretchCounts runBandsAvx2(BandLanes& bands, const SliceInputs& in, const SliceSettings& settings,
                           float* work, int32_t n);
