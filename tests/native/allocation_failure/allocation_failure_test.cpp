// Every allocation the effect makes while it is built fails in turn: the host must get null,
// the process-wide out-of-memory flag must say why, and nothing may stay allocated.
//
// The global allocation functions are replaced, all of them, so that every block comes from
// malloc and goes back to free: the sanitizers watch malloc and free, and no block can reach a
// deallocation function of another family. While the trace is armed, each call is counted and
// the chosen nothrow call fails; every block handed out while armed is remembered until freed.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "host/out_of_memory.h"
#include "host/plugin_main.h"
#include "vst/vocoder.h"

namespace {

constexpr int kMaxTracked = 256;

struct AllocationTrace {
  bool armed = false;
  int failAt = 0;  // the armed call that fails, counting from 1; 0: none
  int calls = 0;
  int throwingCalls = 0;
  bool injected = false;
  void* live[kMaxTracked] = {};
  int liveCount = 0;
  bool tableFull = false;

  void arm(int failingCall) {
    armed = true;
    failAt = failingCall;
    calls = 0;
    throwingCalls = 0;
    injected = false;
  }
  void disarm() { armed = false; }
};

AllocationTrace trace;

void* allocate(std::size_t size, bool nothrow) {
  if (trace.armed) {
    ++trace.calls;
    if (!nothrow) ++trace.throwingCalls;
    if (nothrow && trace.calls == trace.failAt) {
      trace.injected = true;
      return nullptr;
    }
  }
  void* block = std::malloc(size != 0 ? size : 1);
  if (block != nullptr && trace.armed) {
    if (trace.liveCount < kMaxTracked)
      trace.live[trace.liveCount++] = block;
    else
      trace.tableFull = true;
  }
  return block;
}

void* allocateOrAbort(std::size_t size) {
  void* block = allocate(size, false);
  if (block == nullptr) std::abort();  // this program is built without exceptions
  return block;
}

void release(void* block) {
  if (block == nullptr) return;
  for (int i = 0; i < trace.liveCount; ++i) {
    if (trace.live[i] == block) {
      trace.live[i] = trace.live[--trace.liveCount];
      break;
    }
  }
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocateOrAbort(size); }
void* operator new[](std::size_t size) { return allocateOrAbort(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size, true);
}
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }

namespace {

intptr_t VSTCALL hostVersion2(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2 : 0;
}

int notices = 0;
void countNotice() { ++notices; }

AudioEffect* makeVocoder(audioMasterCallback audioMaster) {
  return new (std::nothrow) Vocoder(audioMaster);
}

// Builds one effect with the trace armed to fail the given call (0: none).
AEffect* instantiateFailingAt(int failingCall) {
  trace.arm(failingCall);
  AEffect* effect = instantiateEffect(hostVersion2, countNotice, makeVocoder);
  trace.disarm();
  return effect;
}

class AllocationFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    outOfMemory = false;
    notices = 0;
  }
  void TearDown() override { outOfMemory = false; }
};

// The effect object itself, with the vocoder's core inside it, and the two programs.
constexpr int kConstructionAllocations = 2;

TEST_F(AllocationFailure, BuildingTheEffectMakesItsAllocationsUpFront) {
  AEffect* effect = instantiateFailingAt(0);
  ASSERT_NE(effect, nullptr);
  EXPECT_FALSE(outOfMemory);
  EXPECT_FALSE(trace.injected);
  EXPECT_EQ(trace.calls, kConstructionAllocations);
  EXPECT_EQ(trace.throwingCalls, 0) << "the product allocates only with nothrow";
  EXPECT_FALSE(trace.tableFull);
  EXPECT_EQ(trace.liveCount, kConstructionAllocations);

  // Parameters, programs and processing allocate nothing.
  trace.arm(0);
  effect->setParameter(effect, kFilter, 0.9f);
  effect->dispatcher(effect, effSetProgram, 0, 1, nullptr, 0.0f);
  float in1[64] = {0.5f}, in2[64] = {0.25f}, out1[64], out2[64];
  float* inputs[2] = {in1, in2};
  float* outputs[2] = {out1, out2};
  effect->processReplacing(effect, inputs, outputs, 64);
  trace.disarm();
  EXPECT_EQ(trace.calls, 0);

  EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_EQ(trace.liveCount, 0) << "closing the effect frees all it allocated";
}

TEST_F(AllocationFailure, EveryFailedAllocationIsRefusedWithoutLeaks) {
  for (int failing = 1; failing <= kConstructionAllocations; ++failing) {
    outOfMemory = false;
    notices = 0;
    AEffect* effect = instantiateFailingAt(failing);
    EXPECT_TRUE(trace.injected) << "allocation " << failing << " never happened";
    EXPECT_EQ(effect, nullptr) << "allocation " << failing << " failed, yet an effect came back";
    // The first allocation is the object itself, which cannot report anything; every later one
    // is the constructor's and must set the flag.
    EXPECT_EQ(outOfMemory.load(), failing > 1) << "allocation " << failing;
    EXPECT_EQ(trace.liveCount, 0) << "allocation " << failing << " failed and "
                                  << trace.liveCount << " blocks stayed allocated";
    EXPECT_EQ(notices, 1) << "the notice comes before the effect is built";
    EXPECT_LE(trace.calls, failing) << "construction stops at the first failure";
    if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  }
}

TEST_F(AllocationFailure, LaterInstancesAreRefusedOnceTheFlagIsSet) {
  EXPECT_EQ(instantiateFailingAt(kConstructionAllocations), nullptr);
  ASSERT_TRUE(outOfMemory);
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_EQ(instantiateFailingAt(0), nullptr);
    EXPECT_EQ(trace.liveCount, 0) << "the refused effect is destroyed";
  }
  EXPECT_EQ(notices, 4);

  outOfMemory = false;  // only a test may clear it
  AEffect* effect = instantiateFailingAt(0);
  ASSERT_NE(effect, nullptr);
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(trace.liveCount, 0);
}

}  // namespace
