// Proves that processing, parameter and program operations never allocate: every form of the
// global operator new and delete is replaced by a counting version, and the count must stay 0
// over many calls with varied parameters and block sizes, blocks beyond 3000 frames included.
// A plain program (no test framework) so that nothing else allocates while it counts.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/vocoder.h"
#include "tests/native/test_signals.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> releases{0};

void* allocate(std::size_t size) {
  if (counting.load()) allocations.fetch_add(1);
  return std::malloc(size != 0 ? size : 1);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
  if (counting.load()) allocations.fetch_add(1);
  const std::size_t a = static_cast<std::size_t>(alignment);
  void* p = nullptr;
  if (posix_memalign(&p, a < sizeof(void*) ? sizeof(void*) : a, size != 0 ? size : 1) != 0)
    return nullptr;
  return p;
}

void release(void* p) {
  if (p != nullptr && counting.load()) releases.fetch_add(1);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  std::abort();  // built without exceptions, like the product
}
void* operator new[](std::size_t size) {
  if (void* p = allocate(size)) return p;
  std::abort();  // built without exceptions, like the product
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) {
  if (void* p = allocateAligned(size, a)) return p;
  std::abort();  // built without exceptions, like the product
}
void* operator new[](std::size_t size, std::align_val_t a) {
  if (void* p = allocateAligned(size, a)) return p;
  std::abort();  // built without exceptions, like the product
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocateAligned(size, a);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }

int* volatile escaped = nullptr;  // keeps the self-check's allocation from being optimised away

int main() {
  // The counter must see an allocation, or a pass below would prove nothing.
  counting = true;
  escaped = new int(1);
  delete escaped;
  counting = false;
  if (allocations.load() != 1 || releases.load() != 1) {
    std::printf("FAIL: the replaced operator new is not in use (%ld, %ld)\n", allocations.load(),
                releases.load());
    return 1;
  }
  allocations = 0;
  releases = 0;

  constexpr int kLongest = 10000;
  Vocoder* vocoder = new Vocoder(nullptr);
  const std::vector<float> speech = signals::speechLike(kLongest, 1, 0.6f);
  const std::vector<float> carrier = signals::noise(kLongest, 2, 0.3f);
  std::vector<float> in1(kLongest), in2(kLongest), out1(kLongest), out2(kLongest);
  char name[kProgramNameSize];
  const int lengths[] = {1, 2, 63, 64, 512, 2999, 3000, 3001, 4096, 6001, kLongest};
  signals::Random random(3);

  long calls = 0;
  counting = true;
  for (int round = 0; round < 400; ++round) {
    const int n = lengths[round % 11];
    for (int k = 0; k < n; ++k) {
      in1[k] = speech[k];
      in2[k] = carrier[k];
    }
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    vocoder->setParameter(static_cast<int32_t>(random.next() % 8),
                          static_cast<float>(random.unit()));
    vocoder->setParameter(kMulchIO, (round & 1) ? 1.0f : 0.0f);
    if (round % 7 == 0) vocoder->setProgram((round / 7) % 2);
    if (round % 13 == 0) {
      vocoder->setProgramName(const_cast<char*>("Round and round"));
      vocoder->getProgramName(name);
    }
    vocoder->processReplacing(inputs, outputs, n);
    vocoder->process(inputs, outputs, n);
    (void)vocoder->getParameter(round % 8);
    calls += 2;
  }
  counting = false;

  delete vocoder;
  std::printf(
      "%ld processing calls with parameter and program changes: %ld allocations, %ld "
      "releases\n",
      calls, allocations.load(), releases.load());
  if (allocations.load() != 0 || releases.load() != 0) {
    std::printf("FAIL: the audio path allocated\n");
    return 1;
  }
  std::printf("PASS\n");
  return 0;
}
