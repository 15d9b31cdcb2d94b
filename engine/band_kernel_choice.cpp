#include "engine/band_kernel_choice.h"

#include <cpuid.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kCpuidFeatures = 1;
constexpr unsigned kOsSavesExtendedState = 1u << 27;  // ECX: OSXSAVE, xgetbv may be used
constexpr unsigned kAvx = 1u << 28;                   // ECX
// XCR0: the system saves the SSE registers (bit 1) and the upper halves of the AVX ones (bit 2).
constexpr uint32_t kSseAndAvxState = 0x6;

uint32_t enabledStateComponents() {
  uint32_t low, high;
  // xgetbv by its encoding, so that this file needs no -mxsave.
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
  (void)high;
  return low;
}

}  // namespace

bool processorRunsAvx() {
  unsigned eax, ebx, ecx, edx;
  if (__get_cpuid(kCpuidFeatures, &eax, &ebx, &ecx, &edx) == 0) return false;
  if ((ecx & kOsSavesExtendedState) == 0 || (ecx & kAvx) == 0) return false;
  return (enabledStateComponents() & kSseAndAvxState) == kSseAndAvxState;
}

BandKernelKind runnableKernel(BandKernelKind wanted) {
  return wanted == BandKernelKind::kAvx && processorRunsAvx() ? BandKernelKind::kAvx
                                                              : BandKernelKind::kSse2;
}

BandKernelKind chooseBandKernel() {
  const char* pinned = std::getenv("MULCHVOICE_KERNEL");
  if (pinned != nullptr && std::strcmp(pinned, bandKernelName(BandKernelKind::kSse2)) == 0)
    return BandKernelKind::kSse2;
  return runnableKernel(BandKernelKind::kAvx);
}

BandKernel bandKernelFor(BandKernelKind kind) {
  return runnableKernel(kind) == BandKernelKind::kAvx ? runBandsAvx : runBandsSse2;
}

const char* bandKernelName(BandKernelKind kind) {
  return kind == BandKernelKind::kAvx ? "avx" : "sse2";
}
