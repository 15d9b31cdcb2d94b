#pragma once
// Runs a session in a child process whose every system call traps (a seccomp filter), to show
// that the session makes none. Linux on x86-64 only.

#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace syscall_trap {

// Shared with the child: the number of the system call that trapped, what the session said it
// was doing then, and the number of calls the session made.
struct Report {
  long syscallNumber;
  const char* during;
  long calls;
};

// The shared report, or null until prepare() succeeded.
extern Report* report;

// Maps the shared report; false when that fails.
bool prepare();

// In the child: makes SIGSYS end it with status 3 after noting the system call, then traps
// every system call but exit and rt_sigreturn. False when the filter cannot be installed.
void catchTraps();
bool trapAllSystemCalls();

enum class Result { kNoSystemCall, kSystemCall, kUnavailable };

// Runs `session(false)` as a warm-up (first calls may bind symbols lazily), then the filter,
// then `session(true)`, which returns the number of calls it made, in a child process.
template <typename Session>
Result runTrapped(Session session) {
  report->syscallNumber = -1;
  report->during = nullptr;
  report->calls = 0;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    catchTraps();
    session(false);
    // The child ends with exit, the one system call the filter lets through (exit_group, which
    // _exit makes, would trap).
    if (!trapAllSystemCalls()) syscall(SYS_exit, 2);
    report->calls = session(true);
    syscall(SYS_exit, 0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return Result::kUnavailable;
  switch (WEXITSTATUS(status)) {
    case 0: return Result::kNoSystemCall;
    case 3: return Result::kSystemCall;
    default: return Result::kUnavailable;
  }
}

// Whether the filter catches a system call at all, or a silent pass would prove nothing.
bool catchesSystemCalls();

}  // namespace syscall_trap
