// The real DLL on the threads of a busy host, with its editor open: the test's main thread is
// the host's user-interface thread (it opens the editor in a host window, pumps its messages,
// calls effEditIdle and clicks the switches with real window messages, which report
// automation from that thread), while one thread processes audio and others set and read
// parameters, switch programs and rename programs. Nothing may crash; every output sample is
// finite and written, both outputs agree, program names read back are terminated within 24
// bytes and made of characters that were written, and the effect renders normally afterwards.
//
// Figure: "wine threads: ...". Runs 10 s by default and a minute with MULCHVOICE_LONG=1.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/reliability/reliability_support.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/plugin_host.h"

namespace {

using reliability::dispatch;

constexpr char kNameAlphabet[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::atomic<bool> stopping{false};
std::atomic<long> faults{0};

void fault(const std::string& what) {
  if (faults.fetch_add(1) < 10) ADD_FAILURE() << what;
}

struct Counts {
  std::atomic<long> blocks{0};
  std::atomic<long> frames{0};
  std::atomic<long> parameterChanges{0};
  std::atomic<long> programSwitches{0};
  std::atomic<long> renames{0};
  long idles = 0;
  long clicks = 0;
};

void audioThread(AEffect* effect, Counts& counts) {
  const reliability::Signal signal = reliability::makeSignal(44100, 13);
  reliability::FencedStereo buffers(1024);
  reliability::Random random(1);
  size_t position = 0;
  while (!stopping.load()) {
    const size_t n = static_cast<size_t>(random.range(32, 1024));
    buffers.load(signal, position, n);
    effect->processReplacing(effect, buffers.inputs(n), buffers.outputs(n), static_cast<int32_t>(n));
    position = (position + n) % signal.speech.size();
    if (!buffers.outputsFinite(n)) fault("an output sample was not finite or not written");
    if (!buffers.outputsIdentical(n)) fault("the two outputs differ");
    if (!buffers.slackIntact(n)) fault("processing wrote before a buffer");
    counts.blocks += 1;
    counts.frames += static_cast<long>(n);
  }
}

void parameterThread(AEffect* effect, Counts& counts, uint64_t seed) {
  reliability::Random random(seed);
  while (!stopping.load()) {
    const int32_t index = random.range(0, 7);
    float value = static_cast<float>(random.uniform());
    if (index >= 6 && random.next() % 2 == 0) value = random.next() % 2 == 0 ? 0.0f : 1.0f;
    effect->setParameter(effect, index, value);
    const float back = effect->getParameter(effect, index);
    if (!(back >= 0.0f && back <= 1.0f)) fault("a parameter read back outside 0 to 1");
    counts.parameterChanges += 1;
  }
}

void programThread(AEffect* effect, Counts& counts) {
  int32_t program = 0;
  while (!stopping.load()) {
    program = 1 - program;
    dispatch(effect, effSetProgram, 0, program);
    const int32_t current = dispatch(effect, effGetProgram);
    if (current != 0 && current != 1) fault("the current program is out of range");
    counts.programSwitches += 1;
    Sleep(0);
  }
}

void nameThread(AEffect* effect, Counts& counts) {
  reliability::Random random(77);
  char name[64];
  char read[64];
  while (!stopping.load()) {
    const int length = random.range(0, 40);
    for (int i = 0; i < length; ++i) {
      name[i] = kNameAlphabet[random.next() % (sizeof kNameAlphabet - 1)];
    }
    name[length] = '\0';
    dispatch(effect, effSetProgramName, 0, 0, name);
    std::memset(read, 0x7F, sizeof read);
    dispatch(effect, effGetProgramName, 0, 0, read);
    const void* end = std::memchr(read, '\0', 24);
    if (end == nullptr) {
      fault("a program name read back is not terminated within 24 bytes");
    } else {
      for (const char* c = read; c != end; ++c) {
        if (std::strchr(kNameAlphabet, *c) == nullptr) fault("a program name holds a character never written");
      }
    }
    if (read[24] != 0x7F) fault("reading a program name wrote past 24 bytes");
    counts.renames += 1;
  }
}

}  // namespace

TEST(ThreadsWithEditor, ProcessingParametersProgramsAndNamesAroundAnOpenEditor) {
  reliability::installFaultReporter();
  const double seconds = reliability::longRun() ? 60.0 : 10.0;
  testhost::PluginHost host;
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);

  testhost::HostWindow window("threads", 479, 161);
  ASSERT_NE(window.handle(), nullptr);
  ASSERT_EQ(dispatch(effect, effEditOpen, 0, 0, window.handle()), 1);
  testhost::pumpMessages(50);
  HWND editor = FindWindowExA(window.handle(), nullptr, "MulchvoiceClass", nullptr);
  ASSERT_NE(editor, nullptr);

  Counts counts;
  stopping = false;
  std::vector<std::thread> threads;
  threads.emplace_back(audioThread, effect, std::ref(counts));
  threads.emplace_back(parameterThread, effect, std::ref(counts), 5);
  threads.emplace_back(parameterThread, effect, std::ref(counts), 6);
  threads.emplace_back(programThread, effect, std::ref(counts));
  threads.emplace_back(nameThread, effect, std::ref(counts));

  // The user-interface thread: messages, idle calls, and now and then a click on a switch.
  const double start = reliability::now();
  double nextClick = start;
  while (reliability::now() - start < seconds) {
    testhost::pumpMessages(10);
    dispatch(effect, effEditIdle);
    ++counts.idles;
    if (reliability::now() >= nextClick) {
      const LPARAM at = counts.clicks % 2 == 0 ? MAKELPARAM(80, 105) : MAKELPARAM(285, 105);
      PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, at);
      PostMessageA(editor, WM_LBUTTONUP, 0, at);
      ++counts.clicks;
      nextClick += 0.05;
    }
  }
  stopping = true;
  for (std::thread& t : threads) t.join();
  const double elapsed = reliability::now() - start;
  testhost::pumpMessages(20);
  dispatch(effect, effEditIdle);

  long automations = 0;
  for (const testhost::Automation& a : host.automations()) {
    if (a.effect == effect) ++automations;
  }
  EXPECT_GT(automations, 0) << "the switch clicks reported no automation";
  EXPECT_TRUE(IsWindow(editor));

  // Afterwards the effect renders normally.
  reliability::setComparisonParameters(effect);
  const reliability::Render r = reliability::render(effect, reliability::makeSignal(22050, 2), 0, 22050, 512);
  EXPECT_TRUE(r.finite && r.identical);
  EXPECT_GT(reliability::rms(r.out, 0, r.out.size()), 1e-3);

  dispatch(effect, effEditClose);
  EXPECT_EQ(host.close(effect), 1);

  reliability::figure(
      "wine threads: %.1f s with the editor open, audio %ld blocks (%ld frames, %.1f s of sound) all "
      "finite and written, %ld parameter changes on 2 threads, %ld program switches, %ld renames "
      "(names always terminated within 24 bytes), %ld idle calls, %ld switch clicks (%ld "
      "automations reported), %ld faults",
      elapsed, counts.blocks.load(), counts.frames.load(), counts.frames.load() / 44100.0,
      counts.parameterChanges.load(), counts.programSwitches.load(), counts.renames.load(),
      counts.idles, counts.clicks, automations, faults.load());
  EXPECT_EQ(faults.load(), 0);
  EXPECT_GT(counts.blocks.load(), 10);
  EXPECT_GT(counts.renames.load(), 10);
}
