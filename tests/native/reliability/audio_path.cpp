// What a host may call while its audio runs must not allocate, lock or enter the kernel:
// processing, parameter sets and gets, program switches, names and the dispatcher's other
// opcodes (and the editor's idle call, which only runs the refresh flag). This program
// replaces the allocation functions and the mutex lock to count calls while a host session
// runs (construction and effClose excepted), then runs the same session in a child process
// under a seccomp filter that traps every system call. Prints one line of figures; exits
// non-zero on any allocation, lock or system call.
//
// It replaces malloc and operator new, so it is not built with the sanitizers.

#include <dlfcn.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "tests/native/reliability/host_driver.h"

// ---- Counting hooks -------------------------------------------------------------------------

namespace {

std::atomic<bool> armed{false};
std::atomic<long> allocations{0};
std::atomic<long> releases{0};
std::atomic<long> locks{0};

void noteAllocation() {
  if (armed.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
void noteRelease() {
  if (armed.load(std::memory_order_relaxed)) releases.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) noexcept {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  noteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
  noteAllocation();
  return __libc_realloc(p, size);
}
void free(void* p) noexcept {
  if (p != nullptr) noteRelease();
  __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  using Lock = int (*)(pthread_mutex_t*);
  static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  if (armed.load(std::memory_order_relaxed)) locks.fetch_add(1, std::memory_order_relaxed);
  return real(mutex);
}
}

void* operator new(size_t size) {
  noteAllocation();
  void* p = __libc_malloc(size != 0 ? size : 1);
  if (p == nullptr) std::abort();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  noteAllocation();
  return __libc_malloc(size != 0 ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept {
  if (p != nullptr) noteRelease();
  __libc_free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }

// ---- The checks -----------------------------------------------------------------------------

namespace {

// Names the first call during which a counter moved.
class CountingObserver : public CallObserver {
 public:
  void before(const char*) override { before_ = total(); }
  void after(const char* what) override {
    if (total() != before_ && firstOffender == nullptr) firstOffender = what;
  }
  const char* firstOffender = nullptr;

 private:
  static long total() { return allocations + releases + locks; }
  long before_ = 0;
};

// The hooks must see what they are meant to see, or a silent zero proves nothing.
bool hooksWork() {
  armed = true;
  int* p = new int(1);
  delete p;
  void* q = std::malloc(16);
  std::free(q);
  static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&mutex);
  pthread_mutex_unlock(&mutex);
  std::mutex standardMutex;
  standardMutex.lock();
  standardMutex.unlock();
  armed = false;
  const bool ok = allocations == 2 && releases == 2 && locks == 2;
  allocations = 0;
  releases = 0;
  locks = 0;
  return ok;
}

// ---- System calls: the session again, in a child under a seccomp filter ----

// Shared with the child: the number of the system call that trapped and the call it was in.
struct TrapReport {
  long syscallNumber;
  const char* during;
  long calls;
};
TrapReport* report = nullptr;

class TrapObserver : public CallObserver {
 public:
  void before(const char* what) override { report->during = what; }
};

void onSigsys(int, siginfo_t* info, void*) {
  report->syscallNumber = info->si_syscall;
  syscall(SYS_exit, 3);  // exit itself is allowed
}

// Traps every system call but exit (the child's way out) and rt_sigreturn.
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

enum class TrapResult { kNoSystemCall, kSystemCall, kUnavailable };

// Runs `session` in a child under the filter. `session` returns the number of calls made.
template <typename Session>
TrapResult runTrapped(Session session) {
  report->syscallNumber = -1;
  report->during = nullptr;
  report->calls = 0;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    struct sigaction action = {};
    action.sa_sigaction = onSigsys;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    session(/*armed=*/false);  // warm-up: first calls may bind symbols lazily
    if (!trapAllSystemCalls()) syscall(SYS_exit, 2);
    report->calls = session(/*armed=*/true);
    syscall(SYS_exit, 0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
    return TrapResult::kUnavailable;
  switch (WEXITSTATUS(status)) {
    case 0: return TrapResult::kNoSystemCall;
    case 3: return TrapResult::kSystemCall;
    default: return TrapResult::kUnavailable;
  }
}

}  // namespace

int main() {
  int failures = 0;
  if (!hooksWork()) {
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
  armed = true;
  const long calls = host.all(effect, counting) + host.all(effect, counting);
  armed = false;
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  const long allocated = allocations, released = releases, locked = locks;
  if (allocated + released + locked != 0) {
    std::printf("FAIL: %ld allocations, %ld releases and %ld locks; the first during %s\n",
                allocated, released, locked, counting.firstOffender);
    ++failures;
  }

  // System calls: the same session in a child whose every system call traps.
  report = static_cast<TrapReport*>(
      mmap(nullptr, sizeof(TrapReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  const char* syscallFigure = "not checked (seccomp unavailable)";
  char figure[160];
  if (report != MAP_FAILED) {
    // The filter must catch a system call, or a silent pass proves nothing.
    const TrapResult calibration = runTrapped([](bool armedRun) {
      if (armedRun) {
        report->during = "getpid";
        (void)syscall(SYS_getpid);
      }
      return 1L;
    });
    if (calibration == TrapResult::kSystemCall) {
      AEffect* trapped = openTestEffect();
      TrapObserver trapObserver;
      const TrapResult result = runTrapped([&](bool) { return host.all(trapped, trapObserver); });
      trapped->dispatcher(trapped, effClose, 0, 0, nullptr, 0.0f);
      if (result == TrapResult::kSystemCall) {
        std::printf("FAIL: system call %ld during %s\n", report->syscallNumber,
                    report->during != nullptr ? report->during : "?");
        ++failures;
        syscallFigure = "a system call";
      } else if (result == TrapResult::kNoSystemCall) {
        std::snprintf(figure, sizeof figure, "0 system calls in %ld calls under a seccomp trap",
                      report->calls);
        syscallFigure = figure;
      }
    }
  }

  std::printf("audio path: %ld calls (processing, parameters, programs, names, opcodes), "
              "%ld allocations, %ld releases, %ld locks; %s\n",
              calls, allocated, released, locked, syscallFigure);
  return failures == 0 ? 0 : 1;
}
