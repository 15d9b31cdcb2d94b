// The LV2 plug-in's audio path, with the bundle loaded through lilv as hosts load it: run and
// connect_port allocate nothing, take no lock and make no system call, over blocks from 0 to
// several slices, control changes (hostile values included) and ports connected to null. And
// its instantiation: a refused sample rate allocates nothing, a failed allocation gives null
// and leaks nothing. Prints one line of figures; exits non-zero on any fault.
//
// It replaces malloc and operator new, so it is not built with the sanitizers.

#include <cmath>
#include <cstdio>
#include <vector>

#include "lv2/ports.h"
#include "tests/native/reliability/allocation_hooks.h"
#include "tests/native/reliability/system_call_trap.h"
#include "tools/lv2host/lv2_host.h"

namespace {

constexpr uint32_t kBlocks[] = {0, 1, 64, 3000, 3001, 10000};
constexpr float kControlValues[] = {0.0f, 1.0f, 0.5f, NAN, -INFINITY, 2.0f};
constexpr uint32_t kLongestBlock = 10000;

struct Buffers {
  std::vector<float> in1, in2, out1, out2;
  Buffers() : in1(kLongestBlock, 0.25f), in2(kLongestBlock, -0.5f), out1(kLongestBlock),
              out2(kLongestBlock) {}
};

// What a host does while its audio runs: blocks of every length, each after a change of every
// control, then with an input and an output connected to null. Returns the number of calls.
long session(lv2host::Instance& instance, Buffers& b) {
  long calls = 0;
  const float* in[2] = {b.in1.data(), b.in2.data()};
  float* out[2] = {b.out1.data(), b.out2.data()};
  int step = 0;
  for (const uint32_t frames : kBlocks) {
    for (int32_t parameter = 0; parameter < kNumParams; ++parameter)
      instance.control(kFirstControlPort + parameter) =
          kControlValues[(step + parameter) % std::size(kControlValues)];
    ++step;
    instance.run(in, out, frames);
    ++calls;
  }
  const float* halfIn[2] = {b.in1.data(), nullptr};
  float* halfOut[2] = {nullptr, b.out2.data()};
  instance.run(halfIn, halfOut, kLongestBlock);
  return calls + 1;
}

int fail(const char* what) {
  std::printf("FAIL: %s\n", what);
  return 1;
}

}  // namespace

int main() {
  if (!hooks::countingWorks()) return fail("the allocation and lock hooks do not count");
  lv2host::Plugin plugin(kPluginUri, MULCHVOICE_LV2_BUNDLE);
  lv2host::Instance instance(plugin, 44100.0);
  if (instance.get() == nullptr) return fail(plugin.error().c_str());
  Buffers buffers;
  int failures = 0;

  hooks::arm();
  const long calls = session(instance, buffers) + session(instance, buffers);
  hooks::disarm();
  const long allocated = hooks::allocations(), released = hooks::releases(),
             locked = hooks::locks();
  if (hooks::total() != 0) failures += fail("run or connect_port allocated, released or locked");

  const char* syscallFigure = "not checked (seccomp unavailable)";
  if (syscall_trap::prepare() && syscall_trap::catchesSystemCalls()) {
    const syscall_trap::Result result =
        syscall_trap::runTrapped([&](bool) { return session(instance, buffers); });
    if (result == syscall_trap::Result::kSystemCall) {
      std::printf("FAIL: system call %ld in run or connect_port\n",
                  syscall_trap::report->syscallNumber);
      ++failures;
      syscallFigure = "a system call";
    } else if (result == syscall_trap::Result::kNoSystemCall) {
      syscallFigure = "0 system calls under a seccomp trap";
    }
  }

  // Straight to the plug-in's instantiate, past lilv's own allocations.
  const LV2_Descriptor* descriptor = lilv_instance_get_descriptor(instance.get());
  const LV2_Feature* noFeatures[] = {nullptr};
  hooks::clear();
  hooks::arm();
  LV2_Handle refused = descriptor->instantiate(descriptor, 7999.0, MULCHVOICE_LV2_BUNDLE,
                                               noFeatures);
  hooks::disarm();
  if (refused != nullptr || hooks::total() != 0)
    failures += fail("a refused sample rate gave an instance or allocated");
  hooks::clear();
  hooks::failNextNothrowNew();
  hooks::arm();
  LV2_Handle starved = descriptor->instantiate(descriptor, 44100.0, MULCHVOICE_LV2_BUNDLE,
                                               noFeatures);
  hooks::disarm();
  if (starved != nullptr || hooks::allocations() != hooks::releases())
    failures += fail("a failed allocation gave an instance or left memory allocated");

  std::printf("lv2 audio path: %ld runs, %ld allocations, %ld releases, %ld locks; %s; "
              "refused rate and failed allocation give null, allocate and leak nothing\n",
              calls, allocated, released, locked, syscallFigure);
  return failures == 0 ? 0 : 1;
}
