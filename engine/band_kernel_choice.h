#pragma once
// Which band kernel a vocoder runs. Each vocoder picks one when it is made: the AVX2 kernel where
// the processor has AVX2 and the system saves the 256-bit registers, else the AVX kernel where it
// has AVX, else the SSE2 kernel. The environment variable MULCHVOICE_KERNEL ("sse2", "avx" or
// "avx2") pins the choice for the benchmark and the tests, in the DLL too; a kernel the processor
// cannot run is never chosen, whatever it says (the best one it runs is taken instead).
//
// Not on the audio path: the choice is made when a vocoder is made or pinned.

#include "engine/band_kernel.h"

enum class BandKernelKind { kSse2, kAvx, kAvx2 };
constexpr BandKernelKind kAllBandKernels[] = {BandKernelKind::kSse2, BandKernelKind::kAvx,
                                              BandKernelKind::kAvx2};

// True when the processor has AVX (AVX2) and the operating system saves the 256-bit registers.
bool processorRunsAvx();
bool processorRunsAvx2();

// Whether the processor runs `kind`.
bool processorRuns(BandKernelKind kind);

// The fastest kernel this processor runs, or the one MULCHVOICE_KERNEL names where it runs here.
BandKernelKind chooseBandKernel();

// `wanted` where the processor runs it, else the SSE2 kernel.
BandKernelKind runnableKernel(BandKernelKind wanted);

BandKernel bandKernelFor(BandKernelKind kind);
const char* bandKernelName(BandKernelKind kind);
