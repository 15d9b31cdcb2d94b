#pragma once
// Which band kernel a vocoder runs. Each vocoder picks one when it is made: the AVX kernel where
// the processor has AVX and the system saves its wide registers, the SSE2 kernel elsewhere. The
// environment variable MULCHVOICE_KERNEL ("sse2" or "avx") pins the choice for the benchmark and
// the tests, in the DLL too; a kernel the processor cannot run is never chosen, whatever it says.
//
// Not on the audio path: the choice is made when a vocoder is made or pinned.

#include "engine/band_kernel.h"

enum class BandKernelKind { kSse2, kAvx };

// True when the processor has AVX and the operating system saves the 256-bit registers.
bool processorRunsAvx();

// The fastest kernel this processor runs, or the one MULCHVOICE_KERNEL names where it runs here.
BandKernelKind chooseBandKernel();

// `wanted` where the processor runs it, else the SSE2 kernel.
BandKernelKind runnableKernel(BandKernelKind wanted);

BandKernel bandKernelFor(BandKernelKind kind);
const char* bandKernelName(BandKernelKind kind);
