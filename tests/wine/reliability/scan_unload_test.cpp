// A host scanning its plug-ins, or opening and closing projects: the library loaded,
// instantiated (the notice answered), asked what a scanner asks, given a short render, closed
// and freed, over and over in one process. Every other cycle also opens the editor in a host
// window and ends it in one of the ways hosts do (closed properly, parent window destroyed
// first, effect closed with the editor still open). Nothing may stay behind: the library
// really leaves the process each time, its window class with it, and the window objects,
// drawing objects, handles, thread-local-storage slots and memory the process holds come back
// to where they were after a few warm-up cycles.
//
// Figure: "wine scan: N cycles ... USER a->b, GDI a->b, handles a->b, private bytes x -> y".
// 200 cycles by default, 1500 with MULCHVOICE_LONG=1 (more than the process's 1088 slots).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/parameters.h"
#include "host/aeff_editor.h"
#include "tests/wine/reliability/reliability_support.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/plugin_host.h"

namespace {

using reliability::dispatch;
using reliability::Resources;

constexpr int kWarmUpCycles = 5;

// What the process may hold more after all cycles than after the warm-up. A leak of one object,
// one handle or one allocation per cycle would exceed these many times over.
constexpr long kObjectTolerance = 2;
constexpr long kHandleTolerance = 2;
constexpr double kPrivateBytesTolerance = 512.0 * 1024.0;
constexpr double kHeapBytesTolerance = 16.0 * 1024.0;

std::string moduleName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

double megabytes(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

class Scanner {
 public:
  explicit Scanner(std::string path) : path_(std::move(path)), module_(moduleName(path_)) {}

  // How a cycle ends the editor, if it opens it.
  enum class Editor { kNone, kClosed, kParentDestroyedFirst, kLeftOpen };

  // One cycle; false (with a message recorded by gtest) when anything went wrong.
  bool cycle(const reliability::Signal& signal, Editor editor) {
    testhost::PluginHost host;
    std::string error;
    if (!host.load(path_, &error)) {
      ADD_FAILURE() << error;
      return false;
    }
    AEffect* effect = host.instantiate();
    if (effect == nullptr) {
      ADD_FAILURE() << "main returned null";
      return false;
    }
    if (host.notices().size() != 1) {
      ADD_FAILURE() << "notices answered: " << host.notices().size();
      return false;
    }

    // What a scanner reads.
    char text[256];
    for (int32_t program = 0; program < effect->numPrograms; ++program) {
      dispatch(effect, effSetProgram, 0, program);
      dispatch(effect, effGetProgramName, 0, 0, text);
    }
    dispatch(effect, effSetProgram, 0, 0);
    for (int32_t i = 0; i < effect->numParams; ++i) {
      dispatch(effect, effGetParamName, i, 0, text);
      dispatch(effect, effGetParamLabel, i, 0, text);
      dispatch(effect, effGetParamDisplay, i, 0, text);
      effect->getParameter(effect, i);
    }
    ERect* rect = nullptr;
    if (dispatch(effect, effEditGetRect, 0, 0, &rect) != 1 || rect == nullptr) {
      ADD_FAILURE() << "effEditGetRect gave no rectangle";
      return false;
    }
    dispatch(effect, effIdentify);
    dispatch(effect, effGetVu);
    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effect, effSetBlockSize, 0, 512);
    dispatch(effect, effOpen);
    dispatch(effect, effMainsChanged, 0, 1);

    // A short render, as a host checking the plug-in's output would do.
    reliability::Render r = reliability::render(effect, signal, 0, 2048, 512);
    if (!r.finite || reliability::rms(r.out, 0, r.out.size()) == 0.0) {
      ADD_FAILURE() << "the render was not finite and audible";
      return false;
    }
    dispatch(effect, effMainsChanged, 0, 0);

    std::unique_ptr<testhost::HostWindow> window;
    if (editor != Editor::kNone) {
      window.reset(new testhost::HostWindow("scan", rect->right, rect->bottom));
      if (window->handle() == nullptr || dispatch(effect, effEditOpen, 0, 0, window->handle()) != 1) {
        ADD_FAILURE() << "the editor did not open";
        return false;
      }
      effect->setParameter(effect, kMorph, 0.25f);
      testhost::pumpMessages(5);
      dispatch(effect, effEditIdle);
      testhost::pumpMessages(5);
      if (editor == Editor::kClosed) dispatch(effect, effEditClose);
      if (editor == Editor::kParentDestroyedFirst) {
        window.reset();
        dispatch(effect, effEditIdle);
        dispatch(effect, effEditClose);
      }
    }
    if (host.close(effect) != 1) {
      ADD_FAILURE() << "effClose did not answer 1";
      return false;
    }
    if (GetModuleHandleA(module_.c_str()) == nullptr) {
      ADD_FAILURE() << module_ << " is not in the process while loaded";
      return false;
    }
    window.reset();  // a host that destroys its window after closing the effect
    const HMODULE module = host.module();
    host.unload();
    if (GetModuleHandleA(module_.c_str()) != nullptr) {
      ADD_FAILURE() << module_ << " stayed in the process after FreeLibrary";
      return false;
    }
    // A class left registered would keep a window procedure in the library that is gone.
    WNDCLASSA windowClass;
    if (GetClassInfoA(module, "MulchvoiceClass", &windowClass)) {
      ADD_FAILURE() << "the editor's window class outlived the library";
      return false;
    }
    return true;
  }

 private:
  std::string path_;
  std::string module_;
};

}  // namespace

TEST(ScanAndUnload, CyclesLeaveNothingBehind) {
  reliability::installFaultReporter();
  const int cycles = reliability::longRun() ? 1500 : 200;
  const reliability::Signal signal = reliability::makeSignal(2048, 7);
  Scanner scanner(testhost::defaultPluginPath());
  const Scanner::Editor endings[] = {Scanner::Editor::kNone, Scanner::Editor::kClosed,
                                     Scanner::Editor::kNone, Scanner::Editor::kParentDestroyedFirst,
                                     Scanner::Editor::kNone, Scanner::Editor::kLeftOpen};
  auto ending = [&endings](int i) { return endings[i % 6]; };

  for (int i = 0; i < kWarmUpCycles; ++i) {
    ASSERT_TRUE(scanner.cycle(signal, ending(i))) << "warm-up cycle " << i;
  }

  const Resources before = reliability::measureResources();
  std::vector<Resources> checkpoints;
  const double start = reliability::now();
  for (int i = 1; i <= cycles; ++i) {
    ASSERT_TRUE(scanner.cycle(signal, ending(i))) << "cycle " << i;
    if (i % (cycles / 4) == 0) checkpoints.push_back(reliability::measureResources());
  }
  const double elapsed = reliability::now() - start;
  const Resources after = reliability::measureResources();

  std::string curve;
  for (const Resources& r : checkpoints) {
    char point[96];
    std::snprintf(point, sizeof point, "%s%.3f", curve.empty() ? "" : " ", megabytes(r.privateBytes));
    curve += point;
  }
  reliability::figure("wine scan: sources: %s", reliability::resourceSources().c_str());
  reliability::figure(
      "wine scan: %d cycles after %d warm-up in %.1f s (%.0f ms each), USER %ld->%ld, GDI %ld->%ld, "
      "handles %ld->%ld, TLS slots %ld->%ld, private bytes %.3f MB -> %.3f MB (quarters: %s), heap in "
      "use %.1f KB -> %.1f KB",
      cycles, kWarmUpCycles, elapsed, 1000.0 * elapsed / cycles, before.userObjects,
      after.userObjects, before.gdiObjects, after.gdiObjects, before.handles, after.handles,
      before.tlsSlots, after.tlsSlots, megabytes(before.privateBytes), megabytes(after.privateBytes), curve.c_str(),
      static_cast<double>(before.heapBytes) / 1024.0, static_cast<double>(after.heapBytes) / 1024.0);

  EXPECT_LE(after.userObjects, before.userObjects + kObjectTolerance);
  EXPECT_LE(after.gdiObjects, before.gdiObjects + kObjectTolerance);
  EXPECT_LE(after.handles, before.handles + kHandleTolerance);
  EXPECT_EQ(after.tlsSlots, before.tlsSlots);
  EXPECT_LE(static_cast<double>(after.privateBytes),
            static_cast<double>(before.privateBytes) + kPrivateBytesTolerance);
  EXPECT_LE(static_cast<double>(after.heapBytes),
            static_cast<double>(before.heapBytes) + kHeapBytesTolerance);
}

// The counts above are only worth something if they see what a leak would leave: objects and
// handles the test makes itself must show.
TEST(ScanAndUnload, TheCountsSeeLeaks) {
  const Resources before = reliability::measureResources();
  HDC contexts[5];
  for (HDC& dc : contexts) dc = CreateCompatibleDC(nullptr);
  HANDLE events[5];
  for (HANDLE& event : events) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  void* memory = VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  void* block = HeapAlloc(GetProcessHeap(), 0, 100000);
  const DWORD slot = TlsAlloc();
  const Resources during = reliability::measureResources();

  EXPECT_EQ(during.tlsSlots, before.tlsSlots + 1);
  EXPECT_GE(during.gdiObjects, before.gdiObjects + 5);
  EXPECT_GE(during.handles, before.handles + 5);
  EXPECT_GE(during.userObjects, before.userObjects + 1);
  EXPECT_GE(during.privateBytes, before.privateBytes + (1u << 20));
  EXPECT_GE(during.heapBytes, before.heapBytes + 100000);

  TlsFree(slot);
  HeapFree(GetProcessHeap(), 0, block);
  VirtualFree(memory, 0, MEM_RELEASE);
  DestroyWindow(window);
  for (HANDLE event : events) CloseHandle(event);
  for (HDC dc : contexts) DeleteDC(dc);
}
