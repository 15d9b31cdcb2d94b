// The plug-in runs on its host's threads and must leave their floating-point environment and
// locale as it found them: a host that flushes denormals, rounds differently or runs in
// another locale gets every entry of the record back with its MXCSR control bits and its
// C locale unchanged. Every call of a full host session (instantiation, processing,
// parameters, programs and names, every opcode, effClose) is checked under several host
// settings. Prints one line of figures; exits non-zero if any call changed either.

#include <xmmintrin.h>

#include <clocale>
#include <cstdio>
#include <cstring>

#include "tests/native/reliability/host_driver.h"

namespace {

// MXCSR: bits 0-5 are sticky status flags set by arithmetic; bits 6-15 are the host's settings
// (denormals-are-zero, exception masks, rounding, flush-to-zero).
constexpr unsigned kControlBits = 0xFFC0;
constexpr unsigned kDefaultCsr = 0x1F80;

struct HostSetting {
  const char* what;
  unsigned csr;
};

const HostSetting kCsrSettings[] = {
    {"default", kDefaultCsr},
    {"flush-to-zero and denormals-are-zero", kDefaultCsr | 0x8040},
    {"rounding toward zero", kDefaultCsr | 0x6000},
    {"rounding up", kDefaultCsr | 0x4000},
    {"rounding down, flush-to-zero", kDefaultCsr | 0x2000 | 0x8000},
};

const char* const kLocales[] = {"C", "C.UTF-8"};

class EnvironmentObserver : public CallObserver {
 public:
  void before(const char*) override {
    csr_ = _mm_getcsr() & kControlBits;
    std::snprintf(locale_, sizeof locale_, "%s", std::setlocale(LC_ALL, nullptr));
  }
  void after(const char* what) override {
    ++checked;
    if ((_mm_getcsr() & kControlBits) != csr_) {
      ++changed;
      std::printf("FAIL: %s changed MXCSR from 0x%04x to 0x%04x\n", what, csr_,
                  _mm_getcsr() & kControlBits);
      _mm_setcsr(csr_);
    }
    if (std::strcmp(std::setlocale(LC_ALL, nullptr), locale_) != 0) {
      ++changed;
      std::printf("FAIL: %s changed the locale from \"%s\" to \"%s\"\n", what, locale_,
                  std::setlocale(LC_ALL, nullptr));
      std::setlocale(LC_ALL, locale_);
    }
  }

  long checked = 0;
  long changed = 0;

 private:
  unsigned csr_ = 0;
  char locale_[256] = {};
};

}  // namespace

int main() {
  HostDriver host;
  EnvironmentObserver observer;
  int settings = 0;
  for (const char* locale : kLocales) {
    if (std::setlocale(LC_ALL, locale) == nullptr) {
      std::printf("locale %s is not installed here; skipped\n", locale);
      continue;
    }
    for (const HostSetting& setting : kCsrSettings) {
      _mm_setcsr(setting.csr);
      ++settings;
      observer.before("main");
      AEffect* effect = openTestEffect();
      observer.after("main");
      if (effect == nullptr) {
        std::printf("FAIL: no effect under %s, locale %s\n", setting.what, locale);
        return 1;
      }
      host.all(effect, observer);
      observer.before("effClose");
      effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
      observer.after("effClose");
      _mm_setcsr(kDefaultCsr);
    }
  }
  std::setlocale(LC_ALL, "C");

  std::printf("entry environment: %ld calls checked under %d host settings (MXCSR modes x locales), "
              "%ld changed the control register or the locale\n",
              observer.checked, settings, observer.changed);
  return observer.changed == 0 && settings > 0 ? 0 : 1;
}
