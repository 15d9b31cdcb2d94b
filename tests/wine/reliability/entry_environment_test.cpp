// The plug-in runs on its host's threads and must hand them back as it found them: the SSE
// control register (rounding, flush-to-zero, denormals-are-zero, exception masks), the x87
// control word (precision, rounding, masks) and the C locale are compared before and after
// every entry of a whole host session through the real DLL: loading (DllMain), main with its
// notice, every dispatcher opcode, the parameter entries, both processing entries with plain and
// hostile input, the editor opened, idled and closed in a window, effClose and freeing the
// library. The session runs under several host settings.
//
// The SSE status flags (bits 0 to 5 of MXCSR) are sticky records of what arithmetic happened,
// not settings, and are left out of the comparison.
//
// Figure: "wine entry environment: ...".

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/parameters.h"
#include "host/aeff_editor.h"
#include "tests/wine/reliability/reliability_support.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/plugin_host.h"

namespace {

constexpr unsigned kCsrControlBits = 0xFFC0;
constexpr unsigned kX87ControlBits = 0x1F3F;  // masks, precision, rounding, infinity control

unsigned x87ControlWord() {
  unsigned short word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void setX87ControlWord(unsigned value) {
  unsigned short word = static_cast<unsigned short>(value);
  asm volatile("fldcw %0" : : "m"(word));
}

struct HostSetting {
  const char* what;
  unsigned csr;
  unsigned x87;
};

const HostSetting kSettings[] = {
    {"defaults", 0x1F80, 0x027F},
    {"rounding toward zero, flush-to-zero and denormals-are-zero, x87 53 bits toward zero",
     0x1F80 | 0x6000 | 0x8040, 0x027F | 0x0C00},
    {"rounding up, x87 24 bits rounding up", 0x1F80 | 0x4000, 0x007F | 0x0800},
    {"rounding down with flush-to-zero, x87 64 bits rounding down", 0x1F80 | 0x2000 | 0x8000,
     0x037F | 0x0400},
};

// Whichever of these names the C runtime knows stands for a locale with a decimal comma.
const char* const kCommaLocales[] = {"German_Germany.1252", "de-DE", "German", "de_DE"};

struct Tally {
  long checked = 0;
  long changed = 0;
  int settings = 0;
  std::vector<std::string> locales;
};
Tally tally;

class FigureEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    std::string locales;
    for (const std::string& l : tally.locales) locales += (locales.empty() ? "" : ", ") + l;
    reliability::figure(
        "wine entry environment: %ld entries checked under %d host settings (MXCSR and x87 "
        "modes x locales %s), %ld changed the SSE control register, the x87 control word or the "
        "locale",
        tally.checked, tally.settings, locales.c_str(), tally.changed);
  }
};
const auto* const figureEnvironment = ::testing::AddGlobalTestEnvironment(new FigureEnvironment);

// Notes the environment before a call and compares after it; a change is described and undone.
class Watch {
 public:
  void before() {
    csr_ = _mm_getcsr() & kCsrControlBits;
    x87_ = x87ControlWord() & kX87ControlBits;
    locale_ = std::setlocale(LC_ALL, nullptr);
  }
  // Empty when nothing changed.
  std::string after() {
    const unsigned csr = _mm_getcsr() & kCsrControlBits;
    const unsigned x87 = x87ControlWord() & kX87ControlBits;
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    if (csr == csr_ && x87 == x87_ && locale == locale_) return std::string();
    char change[256];
    std::snprintf(change, sizeof change, "MXCSR 0x%04x -> 0x%04x, x87 0x%04x -> 0x%04x, locale \"%s\" -> \"%s\"",
                  csr_, csr, x87_, x87, locale_.c_str(), locale.c_str());
    _mm_setcsr((_mm_getcsr() & ~kCsrControlBits) | csr_);
    setX87ControlWord((x87ControlWord() & ~kX87ControlBits) | x87_);
    std::setlocale(LC_ALL, locale_.c_str());
    return change;
  }

 private:
  unsigned csr_ = 0;
  unsigned x87_ = 0;
  std::string locale_;
};

// Wraps a call in before() and after(); the call's result is passed through.
template <typename Call>
auto checked(Watch& watch, const std::string& what, Call call) -> decltype(call()) {
  watch.before();
  struct After {
    Watch& watch;
    const std::string& what;
    ~After() {
      ++tally.checked;
      const std::string change = watch.after();
      if (!change.empty()) {
        ++tally.changed;
        ADD_FAILURE() << what << " changed the host thread's environment: " << change;
      }
    }
  } after{watch, what};
  return call();
}

// One whole host session under the current settings.
void session(Watch& watch) {
  const std::string path = testhost::defaultPluginPath();
  testhost::PluginHost host;
  std::string error;
  bool loaded = checked(watch, "LoadLibrary", [&] { return host.load(path, &error); });
  ASSERT_TRUE(loaded) << error;
  AEffect* effect = checked(watch, "main", [&] { return host.instantiate(); });
  ASSERT_NE(effect, nullptr);

  auto dispatch = [&](const char* what, int32_t opcode, int32_t index, int32_t value, void* ptr,
                      float opt) {
    return checked(watch, what, [&] { return effect->dispatcher(effect, opcode, index, value, ptr, opt); });
  };
  char text[256] = {};
  char name[] = "Environment";
  ERect* rect = nullptr;
  dispatch("effOpen", effOpen, 0, 0, nullptr, 0.0f);
  dispatch("effSetSampleRate", effSetSampleRate, 0, 0, nullptr, 48000.0f);
  dispatch("effSetSampleRate NaN", effSetSampleRate, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
  dispatch("effSetBlockSize", effSetBlockSize, 0, 512, nullptr, 0.0f);
  dispatch("effMainsChanged resume", effMainsChanged, 0, 1, nullptr, 0.0f);
  for (int32_t program : {1, 0, 5, -1}) dispatch("effSetProgram", effSetProgram, 0, program, nullptr, 0.0f);
  dispatch("effGetProgram", effGetProgram, 0, 0, nullptr, 0.0f);
  dispatch("effSetProgramName", effSetProgramName, 0, 0, name, 0.0f);
  dispatch("effGetProgramName", effGetProgramName, 0, 0, text, 0.0f);
  for (int32_t i = -1; i <= 8; ++i) {
    dispatch("effGetParamLabel", effGetParamLabel, i, 0, text, 0.0f);
    dispatch("effGetParamDisplay", effGetParamDisplay, i, 0, text, 0.0f);
    dispatch("effGetParamName", effGetParamName, i, 0, text, 0.0f);
  }
  dispatch("effGetVu", effGetVu, 0, 0, nullptr, 0.0f);
  dispatch("effIdentify", effIdentify, 0, 0, nullptr, 0.0f);
  dispatch("effEditGetRect", effEditGetRect, 0, 0, &rect, 0.0f);
  for (int32_t opcode : {-1, 23, 1000}) dispatch("an unknown opcode", opcode, 0, 0, text, 0.0f);

  // Parameters, with values in and far out of range: each retunes or recomputes something
  // (the filter width goes through exponentials and tangents, the gate rate through exp).
  const float values[] = {0.0f, 0.37f, 1.0f, 1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(), 1e-40f};
  for (int32_t p = -1; p <= 8; ++p) {
    for (float v : values) {
      checked(watch, "setParameter", [&] { effect->setParameter(effect, p, v); });
      checked(watch, "getParameter", [&] { return effect->getParameter(effect, p); });
    }
  }
  reliability::setComparisonParameters(effect);
  effect->setParameter(effect, kMulchIO, 1.0f);  // the gate on

  // Processing: a clean block, hostile samples, a long block.
  const reliability::Signal signal = reliability::makeSignal(8000, 9);
  std::vector<float> a(signal.speech), b(signal.carrier), o1(8000), o2(8000);
  float* in[2] = {a.data(), b.data()};
  float* out[2] = {o1.data(), o2.data()};
  checked(watch, "processReplacing", [&] { effect->processReplacing(effect, in, out, 512); });
  for (size_t k = 0; k < 8000; k += 7) {
    a[k] = std::numeric_limits<float>::quiet_NaN();
    b[k] = (k & 8) ? std::numeric_limits<float>::infinity() : 1e-42f;
  }
  checked(watch, "processReplacing, hostile samples", [&] { effect->processReplacing(effect, in, out, 3000); });
  checked(watch, "processReplacing, 8000 frames", [&] { effect->processReplacing(effect, in, out, 8000); });
  checked(watch, "process", [&] { effect->process(effect, in, out, 8000); });

  // The editor in a window: opened, painted, refreshed on idle, closed.
  testhost::HostWindow window("environment", 479, 161);
  dispatch("effEditOpen", effEditOpen, 0, 0, window.handle(), 0.0f);
  testhost::pumpMessages(10);
  effect->setParameter(effect, kFilter, 0.8f);
  dispatch("effEditIdle", effEditIdle, 0, 0, nullptr, 0.0f);
  dispatch("effEditDraw", effEditDraw, 0, 0, nullptr, 0.0f);
  dispatch("effEditMouse", effEditMouse, 60, 60, nullptr, 0.0f);
  dispatch("effEditKey", effEditKey, 0, 65, nullptr, 0.0f);
  dispatch("effEditTop", effEditTop, 0, 0, nullptr, 0.0f);
  dispatch("effEditSleep", effEditSleep, 0, 0, nullptr, 0.0f);
  dispatch("effEditClose", effEditClose, 0, 0, nullptr, 0.0f);
  dispatch("effMainsChanged suspend", effMainsChanged, 0, 0, nullptr, 0.0f);
  checked(watch, "effClose", [&] { return host.close(effect); });
  checked(watch, "FreeLibrary", [&] { host.unload(); });
}

}  // namespace

TEST(EntryEnvironment, EveryEntryLeavesTheHostThreadAsItFoundIt) {
  reliability::installFaultReporter();
  std::vector<std::string> locales = {"C"};
  for (const char* name : kCommaLocales) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      locales.push_back(std::setlocale(LC_ALL, nullptr));
      break;
    }
  }
  std::setlocale(LC_ALL, "C");
  tally.locales = locales;

  const unsigned savedCsr = _mm_getcsr();
  const unsigned savedX87 = x87ControlWord();
  Watch watch;
  for (const std::string& locale : locales) {
    for (const HostSetting& setting : kSettings) {
      SCOPED_TRACE(std::string(setting.what) + ", locale " + locale);
      std::setlocale(LC_ALL, locale.c_str());
      _mm_setcsr(setting.csr);
      setX87ControlWord(setting.x87);
      ++tally.settings;
      session(watch);
      _mm_setcsr(savedCsr);
      setX87ControlWord(savedX87);
    }
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(tally.changed, 0);
}

// The watch is only worth something if it sees a change of each kind.
TEST(EntryEnvironment, TheWatchSeesEveryKindOfChange) {
  Watch watch;
  std::setlocale(LC_ALL, "C");
  watch.before();
  _mm_setcsr(_mm_getcsr() ^ 0x6000);
  EXPECT_NE(watch.after(), "");
  watch.before();
  setX87ControlWord(x87ControlWord() ^ 0x0300);
  EXPECT_NE(watch.after(), "");
  watch.before();
  _mm_setcsr(_mm_getcsr() | 0x3F);  // status flags are no setting
  EXPECT_EQ(watch.after(), "");
  if (tally.locales.size() > 1) {
    watch.before();
    std::setlocale(LC_ALL, tally.locales[1].c_str());
    EXPECT_NE(watch.after(), "");
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C") << "the change is undone";
  }
}
