#include "tests/native/reliability/system_call_trap.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>

namespace syscall_trap {

Report* report = nullptr;

bool prepare() {
  void* shared =
      mmap(nullptr, sizeof(Report), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return false;
  report = static_cast<Report*>(shared);
  return true;
}

namespace {

void onSigsys(int, siginfo_t* info, void*) {
  report->syscallNumber = info->si_syscall;
  syscall(SYS_exit, 3);  // exit itself is allowed
}

}  // namespace

void catchTraps() {
  struct sigaction action = {};
  action.sa_sigaction = onSigsys;
  action.sa_flags = SA_SIGINFO;
  sigaction(SIGSYS, &action, nullptr);
}

bool trapAllSystemCalls() {
  struct sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_exit, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rt_sigreturn, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

bool catchesSystemCalls() {
  return runTrapped([](bool armed) {
           if (armed) {
             report->during = "getpid";
             (void)syscall(SYS_getpid);
           }
           return 1L;
         }) == Result::kSystemCall;
}

}  // namespace syscall_trap
