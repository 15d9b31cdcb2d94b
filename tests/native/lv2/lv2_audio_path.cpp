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
#include "tests/fixtures/allocation_hooks.h"
#include "tests/fixtures/system_call_trap.h"
#include "tools/lv2host/lv2_host.h"

namespace {

constexpr uint32_t kBlocks[] = {0, 1, 64, 3000, 3001, 10000};
constexpr float kControlValues[] = {0.0f, 1.0f, 0.5f, NAN, -INFINITY, 2.0f};
constexpr uint32_t kLongestBlock = 10000;

// What a host does while its audio runs: blocks of every length, each after a change of every
// control, then one with an input and an output connected to null. Returns the number of runs.
long session(lv2host::Instance& instance, std::vector<float>& buffer) {
  const float* in[2] = {buffer.data(), buffer.data()};
  float* out[2] = {buffer.data(), buffer.data()};
  long runs = 0;
  for (const uint32_t frames : kBlocks) {
    for (int32_t parameter = 0; parameter < kNumParams; ++parameter)
      instance.control(kFirstControlPort + parameter) =
          kControlValues[(runs + parameter) % std::size(kControlValues)];
    instance.run(in, out, frames);
    ++runs;
  }
  in[1] = nullptr;
  out[0] = nullptr;
  instance.run(in, out, kLongestBlock);
  return runs + 1;
}

// Calls the plug-in's own instantiate, past lilv's allocations; true when it gave null and every
// allocation it made was released.
bool instantiationFails(const LV2_Descriptor* descriptor, double rate) {
  const LV2_Feature* noFeatures[] = {nullptr};
  hooks::clear();
  hooks::arm();
  LV2_Handle handle = descriptor->instantiate(descriptor, rate, MULCHVOICE_LV2_BUNDLE, noFeatures);
  hooks::disarm();
  return handle == nullptr && hooks::allocations() == hooks::releases();
}

}  // namespace

int main() {
  if (!hooks::countingWorks()) {
    std::printf("FAIL: the allocation and lock hooks do not count\n");
    return 1;
  }
  const lv2host::Plugin plugin(kPluginUri, MULCHVOICE_LV2_BUNDLE);
  lv2host::Instance instance(plugin, 44100.0);
  if (instance.get() == nullptr) {
    std::printf("FAIL: no instance: %s\n", plugin.error().c_str());
    return 1;
  }
  std::vector<float> buffer(kLongestBlock, 0.25f);  // in place: inputs and outputs alike
  int failures = 0;

  hooks::arm();
  const long runs = session(instance, buffer) + session(instance, buffer);
  hooks::disarm();
  const long allocated = hooks::allocations(), locked = hooks::locks();
  if (hooks::total() != 0) {
    ++failures;
    std::printf("FAIL: run allocated, released or locked\n");
  }

  const char* syscalls = "not checked (seccomp unavailable)";
  if (syscall_trap::prepare() && syscall_trap::catchesSystemCalls()) {
    switch (syscall_trap::runTrapped([&](bool) { return session(instance, buffer); })) {
      case syscall_trap::Result::kSystemCall:
        ++failures;
        std::printf("FAIL: system call %ld in run\n", syscall_trap::report->syscallNumber);
        syscalls = "a system call";
        break;
      case syscall_trap::Result::kNoSystemCall: syscalls = "0 system calls"; break;
      case syscall_trap::Result::kUnavailable: break;
    }
  }

  const LV2_Descriptor* descriptor = lilv_instance_get_descriptor(instance.get());
  const bool refused = instantiationFails(descriptor, 7999.0) && hooks::allocations() == 0;
  hooks::failNextNothrowNew();
  const bool starved = instantiationFails(descriptor, 44100.0);
  if (!refused || !starved) {
    ++failures;
    std::printf("FAIL: a %s gave an instance or left memory allocated\n",
                refused ? "failed allocation" : "refused rate");
  }

  std::printf("lv2 audio path: %ld runs, %ld allocations, %ld locks, %s; instantiation with a "
              "refused rate or a failed allocation: %s\n",
              runs, allocated, locked, syscalls,
              refused && starved ? "null, nothing left allocated" : "faulty");
  return failures == 0 ? 0 : 1;
}
