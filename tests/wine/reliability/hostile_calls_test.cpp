// A host that calls the plug-in in every order and with every argument it can think of:
// processing before effOpen, after suspend and without ever resuming; the editor opcodes in
// every order of three (a de Bruijn sequence), with and without a parent window, and with the
// parent destroyed under the open editor; every opcode from -1000 to 1000 with null and fenced
// pointers; hostile sample rates and block sizes, announced and used. Every buffer the plug-in
// is given is fenced by inaccessible pages and sentinels. Nothing may crash or write outside
// what it was given, and the effect must render normally afterwards.
//
// Figure: "wine hostile calls: ...".

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/aeff_editor.h"
#include "tests/wine/reliability/reliability_support.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/plugin_host.h"

namespace {

using reliability::dispatch;
using reliability::FencedBytes;
using reliability::FencedStereo;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct Tally {
  long calls = 0;
  long opcodeCalls = 0;
  long editorSteps = 0;
  long framesProcessed = 0;
  long renders = 0;
};
Tally tally;

class FigureEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    reliability::figure(
        "wine hostile calls: %ld calls through the record (%ld of them the opcode sweep -1000..1000, "
        "%ld editor steps in every order of three), %ld frames processed, %ld renders checked "
        "afterwards, every buffer fenced",
        tally.calls, tally.opcodeCalls, tally.editorSteps, tally.framesProcessed, tally.renders);
  }
};
const auto* const figureEnvironment = ::testing::AddGlobalTestEnvironment(new FigureEnvironment);

class HostileCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    reliability::installFaultReporter();
    std::string error;
    ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
    effect = host.instantiate();
    ASSERT_NE(effect, nullptr);
  }
  void TearDown() override {
    if (effect != nullptr) {
      EXPECT_EQ(host.close(effect), 1);
    }
    effect = nullptr;
    // Whatever the editor went through, its class leaves with the last instance.
    WNDCLASSA windowClass;
    EXPECT_FALSE(GetClassInfoA(host.module(), "MulchvoiceClass", &windowClass))
        << "the editor's window class is still registered after the effect closed";
  }

  int32_t call(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr,
               float opt = 0.0f) {
    ++tally.calls;
    return dispatch(effect, opcode, index, value, ptr, opt);
  }

  // One block through fenced buffers; checks that the outputs were written throughout with
  // finite samples and that nothing was written outside the four blocks.
  void processBlock(size_t n, size_t position = 0) {
    FencedStereo& b = stereo(n);
    b.load(signal(), position, n);
    ++tally.calls;
    effect->processReplacing(effect, b.inputs(n), b.outputs(n), static_cast<int32_t>(n));
    tally.framesProcessed += static_cast<long>(n);
    EXPECT_TRUE(b.outputsFinite(n)) << n << " frames: output not finite or not written";
    EXPECT_TRUE(b.slackIntact(n)) << n << " frames: written before a buffer";
  }

  // A normal render afterwards: finite, identical outputs, and audible.
  void expectWorking(const char* after) {
    ++tally.renders;
    reliability::Render r = reliability::render(effect, signal(), 0, 22050, 512);
    tally.framesProcessed += 22050;
    EXPECT_TRUE(r.finite) << after;
    EXPECT_TRUE(r.identical) << after;
    EXPECT_GT(reliability::rms(r.out, 0, r.out.size()), 1e-3) << after << ": silent";
  }

  const reliability::Signal& signal() {
    static const reliability::Signal s = reliability::makeSignal(44100, 3);
    return s;
  }

  FencedStereo& stereo(size_t n) {
    if (!buffers || buffers->in1.capacity() < n) buffers.reset(new FencedStereo(std::max<size_t>(n, 4096)));
    return *buffers;
  }

  testhost::PluginHost host;
  AEffect* effect = nullptr;
  std::unique_ptr<FencedStereo> buffers;
};

}  // namespace

TEST_F(HostileCalls, ProcessingBeforeOpenAfterSuspendAndWithoutResuming) {
  for (size_t i = 0; i < 4; ++i) processBlock(512, i * 512);  // never opened
  call(effMainsChanged, 0, 0);                                   // suspended, never resumed
  for (size_t i = 0; i < 4; ++i) processBlock(512, i * 512);
  call(effOpen);
  call(effOpen);                                                 // opened twice
  call(effMainsChanged, 0, 0);
  call(effMainsChanged, 0, 0);                                   // suspended twice
  for (size_t i = 0; i < 4; ++i) processBlock(700, i * 700);
  expectWorking("after suspend without resume");
  call(effMainsChanged, 0, 1);
  call(effMainsChanged, 0, -1);                                  // resumed twice
  call(effClose - 1000);                                         // an unknown opcode between
  expectWorking("after resuming twice");
}

TEST_F(HostileCalls, ClosingAnEffectNeverOpenedOrResumed) {
  // The fixture's effect is closed in TearDown without ever being opened; a second one is
  // opened and suspended, then closed at once.
  AEffect* second = host.instantiate();
  ASSERT_NE(second, nullptr);
  dispatch(second, effOpen);
  dispatch(second, effMainsChanged, 0, 1);
  dispatch(second, effMainsChanged, 0, 0);
  EXPECT_EQ(host.close(second), 1);
  tally.calls += 4;
  expectWorking("after another instance closed");
}

namespace {

// The editor steps of the sequence.
enum Step {
  kOpenInWindow,
  kOpenWithoutParent,
  kClose,
  kIdle,
  kDraw,
  kMouse,
  kKey,
  kTopAndSleep,
  kGetRect,
  kParameterChange,
  kClick,
  kParentDestroyed,
  kNumSteps
};

// A de Bruijn sequence over k symbols with windows of n: every sequence of n symbols occurs
// exactly once (cyclically), in k^n steps.
std::vector<int> deBruijn(int k, int n) {
  std::vector<int> a(static_cast<size_t>(k * n), 0);
  std::vector<int> sequence;
  struct Recurse {
    int k, n;
    std::vector<int>& a;
    std::vector<int>& out;
    void operator()(int t, int p) {
      if (t > n) {
        if (n % p == 0)
          for (int j = 1; j <= p; ++j) out.push_back(a[static_cast<size_t>(j)]);
      } else {
        a[static_cast<size_t>(t)] = a[static_cast<size_t>(t - p)];
        (*this)(t + 1, p);
        for (int j = a[static_cast<size_t>(t - p)] + 1; j < k; ++j) {
          a[static_cast<size_t>(t)] = j;
          (*this)(t + 1, t);
        }
      }
    }
  };
  Recurse{k, n, a, sequence}(1, 1);
  return sequence;
}

HWND editorWindowIn(HWND parent) {
  return parent != nullptr ? FindWindowExA(parent, nullptr, "MulchvoiceClass", nullptr) : nullptr;
}

}  // namespace

TEST_F(HostileCalls, EditorOpcodesInEveryOrder) {
  const std::vector<int> steps = deBruijn(kNumSteps, 3);
  ASSERT_EQ(steps.size(), static_cast<size_t>(kNumSteps * kNumSteps * kNumSteps));

  // What the process holds without any instance, once an editor has been shown and closed in
  // the ordinary way (the window system makes some things of its own on first use).
  {
    testhost::HostWindow warmUp("hostile editor", 479, 161);
    call(effEditOpen, 0, 0, warmUp.handle());
    testhost::pumpMessages(20);
    call(effEditClose);
  }
  testhost::pumpMessages(20);
  EXPECT_EQ(host.close(effect), 1);
  const reliability::Resources before = reliability::measureResources();
  effect = host.instantiate();
  ASSERT_NE(effect, nullptr);

  auto window = std::make_unique<testhost::HostWindow>("hostile editor", 479, 161);
  ASSERT_NE(window->handle(), nullptr);
  FencedBytes rectSlot(sizeof(ERect*), 0);
  FencedBytes drawRect(sizeof(ERect), 0);
  reliability::Random random(11);
  for (size_t i = 0; i < steps.size(); ++i) {
    ++tally.editorSteps;
    switch (steps[i]) {
      case kOpenInWindow: EXPECT_EQ(call(effEditOpen, 0, 0, window->handle()), 1); break;
      case kOpenWithoutParent: call(effEditOpen, 0, 0, nullptr); break;
      case kClose: call(effEditClose); break;
      case kIdle: call(effEditIdle); break;
      case kDraw:
        call(effEditDraw, 0, 0, nullptr);
        call(effEditDraw, 0, 0, drawRect.data());
        break;
      case kMouse:
        call(effEditMouse, random.range(-5, 500), random.range(-5, 200));
        call(effEditMouse, INT_MIN, INT_MAX);
        break;
      case kKey:
        call(effEditKey, 0, random.range(0, 255));
        call(effEditKey, 0, INT_MIN);
        break;
      case kTopAndSleep:
        call(effEditTop);
        call(effEditSleep);
        break;
      case kGetRect: {
        EXPECT_EQ(call(effEditGetRect, 0, 0, rectSlot.data()), 1);
        ERect* rect;
        std::memcpy(&rect, rectSlot.data(), sizeof rect);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right, 479);
        EXPECT_EQ(rect->bottom, 161);
        call(effEditGetRect, 0, 0, nullptr);
        break;
      }
      case kParameterChange:
        ++tally.calls;
        effect->setParameter(effect, random.range(0, 7), static_cast<float>(random.uniform()));
        break;
      case kClick:
        // Real presses on the editor window, when there is one: a switch, a knob, the panel.
        if (HWND editor = editorWindowIn(window->handle())) {
          PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(80, 100));
          PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(80, 100));
          PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 60));
          PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(60, 60));
          PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        }
        break;
      case kParentDestroyed:
        // The host throws its window away under the open editor and makes a new one.
        window.reset();
        window = std::make_unique<testhost::HostWindow>("hostile editor", 479, 161);
        ASSERT_NE(window->handle(), nullptr);
        break;
    }
    testhost::pumpMessages(0);
    ASSERT_TRUE(rectSlot.slackIntact() && drawRect.slackIntact()) << "step " << i;
  }
  // Every order was gone through: the effect still works and the editor still opens.
  expectWorking("after the editor sequence");
  EXPECT_EQ(call(effEditOpen, 0, 0, window->handle()), 1);
  testhost::pumpMessages(20);
  EXPECT_NE(editorWindowIn(window->handle()), nullptr);

  // Closing the effect ends the editor however many opens are unmatched; then nothing of it
  // is left in the process once the host's window is gone.
  EXPECT_EQ(host.close(effect), 1);
  effect = nullptr;
  window.reset();
  testhost::pumpMessages(20);
  const reliability::Resources after = reliability::measureResources();
  EXPECT_EQ(after.userObjects, before.userObjects) << "windows left behind";
  EXPECT_EQ(after.gdiObjects, before.gdiObjects) << "GDI objects left behind";
  EXPECT_EQ(after.handles, before.handles) << "handles left behind";
}

TEST_F(HostileCalls, EveryOpcodeWithNullAndFencedPointers) {
  // Pointers: none, 64 KB of zeros, and 64 KB of 'A' with no terminator anywhere, each flush
  // against an inaccessible page.
  FencedBytes zeros(65536, 0);
  FencedBytes letters(65536, 'A');
  struct Arguments {
    int32_t index, value;
    float opt;
  };
  const Arguments arguments[] = {{0, 0, 0.0f},
                                 {-1, -1, -1.0f},
                                 {7, 1, 0.5f},
                                 {8, 2, kInfinity},
                                 {INT_MAX, INT_MAX, 1e30f},
                                 {INT_MIN, INT_MIN, kNaN}};
  for (const Arguments& a : arguments) {
    for (int pointer = 0; pointer < 3; ++pointer) {
      FencedBytes* buffer = pointer == 1 ? &zeros : pointer == 2 ? &letters : nullptr;
      for (int32_t opcode = -1000; opcode <= 1000; ++opcode) {
        if (opcode == effClose) continue;  // ends the effect: the last call of the test
        if (buffer != nullptr) {
          buffer->refill();
        }
        const int32_t answer =
            call(opcode, a.index, a.value, buffer != nullptr ? buffer->data() : nullptr, a.opt);
        ++tally.opcodeCalls;
        if (buffer != nullptr) {
          ASSERT_TRUE(buffer->slackIntact()) << "opcode " << opcode << " wrote before its buffer";
        }
        if (opcode < effOpen || opcode > effIdentify) {
          ASSERT_EQ(answer, 0) << "unknown opcode " << opcode;
          if (buffer != nullptr) {
            const std::string expected(buffer->size(), pointer == 1 ? '\0' : 'A');
            ASSERT_EQ(std::memcmp(buffer->data(), expected.data(), expected.size()), 0)
                << "unknown opcode " << opcode << " wrote into the host's buffer";
          }
        }
      }
      testhost::pumpMessages(0);
    }
  }
  expectWorking("after every opcode");
}

TEST_F(HostileCalls, HostileSampleRates) {
  const float rates[] = {0.0f, -44100.0f, kNaN, kInfinity, -kInfinity, 1e9f, 1e-30f, 44100.0f};
  for (float rate : rates) {
    call(effSetSampleRate, 0, 0, nullptr, rate);
    processBlock(512);
    expectWorking("after a hostile sample rate");
  }
}

TEST_F(HostileCalls, HostileBlockSizesAnnouncedAndUsed) {
  const int32_t announced[] = {0, -1, -1000, INT_MIN, 1, 3001, 1000000, INT_MAX};
  for (int32_t size : announced) {
    call(effSetBlockSize, 0, size);
    processBlock(256);
  }

  // Used: a run of single frames, blocks just over the work buffer, and a million frames.
  call(effSetBlockSize, 0, 1);
  for (size_t i = 0; i < 1500; ++i) processBlock(1, i);
  call(effSetBlockSize, 0, 3001);
  processBlock(3001);
  processBlock(6001);
  call(effSetBlockSize, 0, 1000000);
  const reliability::Signal& s = signal();
  {
    FencedStereo big(1000000);
    big.load(s, 0, 1000000);
    ++tally.calls;
    effect->processReplacing(effect, big.inputs(1000000), big.outputs(1000000), 1000000);
    tally.framesProcessed += 1000000;
    EXPECT_TRUE(big.outputsFinite(1000000));
    EXPECT_TRUE(big.outputsIdentical(1000000));
    EXPECT_TRUE(big.slackIntact(1000000));
    EXPECT_GT(reliability::rms(std::vector<float>(big.out1.tail(1000000), big.out1.tail(1000000) + 1000000),
                               0, 1000000),
              1e-3);

    // The copying entry with the same count: each input lands on its output unchanged.
    big.load(s, 0, 1000000);
    ++tally.calls;
    effect->process(effect, big.inputs(1000000), big.outputs(1000000), 1000000);
    EXPECT_EQ(std::memcmp(big.in1.tail(1000000), big.out1.tail(1000000), 4000000), 0);
    EXPECT_EQ(std::memcmp(big.in2.tail(1000000), big.out2.tail(1000000), 4000000), 0);
    EXPECT_TRUE(big.slackIntact(1000000));
  }

  // Counts of nothing or less: nothing is read or written, inputs included.
  for (int32_t frames : {0, -1, -1000, INT_MIN}) {
    FencedStereo& b = stereo(64);
    b.in1.paint();
    b.in2.paint();
    b.out1.paint();
    b.out2.paint();
    effect->processReplacing(effect, b.inputs(64), b.outputs(64), frames);
    effect->process(effect, b.inputs(64), b.outputs(64), frames);
    tally.calls += 2;
    EXPECT_TRUE(b.in1.blockUntouched(4096) && b.in2.blockUntouched(4096) &&
                b.out1.blockUntouched(4096) && b.out2.blockUntouched(4096))
        << frames << " frames: something was written";
  }

  // Missing buffers: no crash, nothing written to the buffers that are there.
  {
    FencedStereo& b = stereo(64);
    b.load(signal(), 0, 64);
    float** in = b.inputs(64);
    float** out = b.outputs(64);
    float* partialIn[2] = {in[0], nullptr};
    float* partialOut[2] = {nullptr, out[1]};
    effect->processReplacing(effect, nullptr, out, 64);
    effect->processReplacing(effect, in, nullptr, 64);
    effect->processReplacing(effect, partialIn, out, 64);
    effect->processReplacing(effect, in, partialOut, 64);
    effect->process(effect, nullptr, nullptr, 64);
    effect->process(effect, partialIn, partialOut, 64);
    tally.calls += 6;
    EXPECT_TRUE(b.slackIntact(64));
  }
  expectWorking("after hostile block sizes");
}
