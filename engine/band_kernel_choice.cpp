#include "engine/band_kernel_choice.h"

#include <cpuid.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kCpuidFeatures = 1;
constexpr unsigned kOsSavesExtendedState = 1u << 27;  // ECX: OSXSAVE, xgetbv may be used
constexpr unsigned kAvx = 1u << 28;                   // ECX
constexpr unsigned kCpuidExtendedFeatures = 7;
constexpr unsigned kAvx2 = 1u << 5;  // EBX of leaf 7, subleaf 0
// XCR0: the system saves the SSE registers (bit 1) and the upper halves of the AVX ones (bit 2).
constexpr uint32_t kSseAndAvxState = 0x6;

constexpr const char* kNames[] = {"sse2", "avx", "avx2"};
constexpr BandKernelKind kFastestFirst[] = {BandKernelKind::kAvx2, BandKernelKind::kAvx,
                                            BandKernelKind::kSse2};

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

bool processorRunsAvx2() {
  unsigned eax, ebx, ecx, edx;
  if (!processorRunsAvx()) return false;
  if (__get_cpuid_count(kCpuidExtendedFeatures, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ebx & kAvx2) != 0;
}

bool processorRuns(BandKernelKind kind) {
  switch (kind) {
    case BandKernelKind::kAvx2:
      return processorRunsAvx2();
    case BandKernelKind::kAvx:
      return processorRunsAvx();
    default:
      return true;
  }
}

BandKernelKind runnableKernel(BandKernelKind wanted) {
  return processorRuns(wanted) ? wanted : BandKernelKind::kSse2;
}

BandKernelKind chooseBandKernel() {
  const char* pinned = std::getenv("MULCHVOICE_KERNEL");
  for (BandKernelKind kind : kFastestFirst) {
    if (pinned != nullptr && std::strcmp(pinned, bandKernelName(kind)) == 0 &&
        processorRuns(kind))
      return kind;
  }
  for (BandKernelKind kind : kFastestFirst)
    if (processorRuns(kind)) return kind;
  return BandKernelKind::kSse2;
}

BandKernel bandKernelFor(BandKernelKind kind) {
  switch (runnableKernel(kind)) {
    case BandKernelKind::kAvx2:
      return runBandsAvx2;
    case BandKernelKind::kAvx:
      return runBandsAvx;
    default:
      return runBandsSse2;
  }
}

const char* bandKernelName(BandKernelKind kind) { return kNames[static_cast<int>(kind)]; }
