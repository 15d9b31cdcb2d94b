// What a host may call while its audio runs must not allocate, lock or enter the kernel:
// processing, parameter sets and gets, program switches, names and the dispatcher's other
// opcodes (and the editor's idle call, which only runs the refresh flag). This program
// replaces the allocation functions and the mutex lock to count calls while a host session
// runs (construction and effClose excepted), then runs the same session in a child process
// under a seccomp filter that traps every system call. Prints one line of figures; exits
// non-zero on any allocation, lock or system call.
//
// It replaces malloc and operator new, so it is not built with the sanitizers.

#include <cstdio>

#include "tests/fixtures/allocation_hooks.h"
#include "tests/fixtures/system_call_trap.h"
#include "tests/native/reliability/host_driver.h"

namespace {

// Names the first call during which a counter moved.
class CountingObserver : public CallObserver {
 public:
  void before(const char*) override { before_ = hooks::total(); }
  void after(const char* what) override {
    if (hooks::total() != before_ && firstOffender == nullptr) firstOffender = what;
  }
  const char* firstOffender = nullptr;

 private:
  long before_ = 0;
};

// Notes the call under way, for the report of a trapped system call.
class TrapObserver : public CallObserver {
 public:
  void before(const char* what) override { syscall_trap::report->during = what; }
};

}  // namespace

int main() {
  int failures = 0;
  if (!hooks::countingWorks()) {
    std::printf("FAIL: the allocation and lock hooks do not count\n");
    return 1;
  }

  // Allocations and locks during a whole session, construction and effClose excepted.
  HostDriver host;
  AEffect* effect = openTestEffect();
  if (effect == nullptr) {
    std::printf("FAIL: no effect\n");
    return 1;
  }
  CountingObserver counting;
  hooks::arm();
  const long calls = host.all(effect, counting) + host.all(effect, counting);
  hooks::disarm();
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  const long allocated = hooks::allocations(), released = hooks::releases(),
             locked = hooks::locks();
  if (allocated + released + locked != 0) {
    std::printf("FAIL: %ld allocations, %ld releases and %ld locks; the first during %s\n",
                allocated, released, locked, counting.firstOffender);
    ++failures;
  }

  // System calls: the same session in a child whose every system call traps.
  const char* syscallFigure = "not checked (seccomp unavailable)";
  char figure[160];
  if (syscall_trap::prepare() && syscall_trap::catchesSystemCalls()) {
    AEffect* trapped = openTestEffect();
    TrapObserver trapObserver;
    const syscall_trap::Result result =
        syscall_trap::runTrapped([&](bool) { return host.all(trapped, trapObserver); });
    trapped->dispatcher(trapped, effClose, 0, 0, nullptr, 0.0f);
    if (result == syscall_trap::Result::kSystemCall) {
      std::printf("FAIL: system call %ld during %s\n", syscall_trap::report->syscallNumber,
                  syscall_trap::report->during != nullptr ? syscall_trap::report->during : "?");
      ++failures;
      syscallFigure = "a system call";
    } else if (result == syscall_trap::Result::kNoSystemCall) {
      std::snprintf(figure, sizeof figure, "0 system calls in %ld calls under a seccomp trap",
                    syscall_trap::report->calls);
      syscallFigure = figure;
    }
  }

  std::printf("audio path: %ld calls (processing, parameters, programs, names, opcodes), "
              "%ld allocations, %ld releases, %ld locks; %s\n",
              calls, allocated, released, locked, syscallFigure);
  return failures == 0 ? 0 : 1;
}
