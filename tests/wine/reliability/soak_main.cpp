// The soak: one instance of the real DLL driven for a long time as a host drives it. An audio
// thread processes blocks without pause, an automation thread moves parameters, switches and
// renames programs, and the user-interface thread opens the editor in a new host window, idles
// it and clicks its switches for a couple of seconds, closes it and throws the window away,
// over and over. Between two editor sessions it samples what the process holds (private
// bytes, heap in use, GDI and USER objects, handles, thread-local-storage slots) and prints
// the curve. At the end the figures after a warm-up are compared with the last ones; the
// program exits with 1 when anything grew, or when any block was not finite.
//
//   reliability_soak.exe [minutes] [seconds between samples]
//
// Defaults: 60 minutes, a sample every minute (or 30 samples over shorter runs). Run through
// tools/soak.sh, which builds it and the DLL and runs it under Wine.

#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/reliability/reliability_support.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/plugin_host.h"

namespace {

using reliability::dispatch;

std::atomic<bool> stopping{false};
std::atomic<long> blocks{0};
std::atomic<long long> frames{0};
std::atomic<long> badBlocks{0};
std::atomic<long> automations{0};

void audio(AEffect* effect) {
  const reliability::Signal signal = reliability::makeSignal(5 * 44100, 31);
  std::vector<float> in1(512), in2(512), out1(512), out2(512);
  size_t position = 0;
  while (!stopping.load()) {
    for (size_t k = 0; k < 512; ++k) {
      in1[k] = signal.speech[(position + k) % signal.speech.size()];
      in2[k] = signal.carrier[(position + k) % signal.carrier.size()];
    }
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    effect->processReplacing(effect, inputs, outputs, 512);
    for (size_t k = 0; k < 512; ++k) {
      if (!std::isfinite(out1[k]) || out1[k] != out2[k]) {
        badBlocks += 1;
        break;
      }
    }
    position = (position + 512) % signal.speech.size();
    blocks += 1;
    frames += 512;
  }
}

void automation(AEffect* effect) {
  reliability::Random random(3);
  char name[32];
  long step = 0;
  while (!stopping.load()) {
    const int32_t index = random.range(0, 5);
    effect->setParameter(effect, index, static_cast<float>(random.uniform()));
    automations += 1;
    if (++step % 200 == 0) dispatch(effect, effSetProgram, 0, random.range(0, 1));
    if (step % 500 == 0) {
      std::snprintf(name, sizeof name, "Soak %ld", step);
      dispatch(effect, effSetProgramName, 0, 0, name);
    }
    Sleep(1);
  }
}

struct Sample {
  double seconds;
  double audioSeconds;
  long editorSessions;
  reliability::Resources resources;
};

void print(const Sample& s) {
  std::printf(
      "soak: %7.1f s  audio %8.1f s  editor sessions %5ld  private %8.3f MB  heap %8.1f KB  "
      "GDI %4ld  USER %3ld  handles %4ld  TLS %3ld\n",
      s.seconds, s.audioSeconds, s.editorSessions,
      static_cast<double>(s.resources.privateBytes) / 1048576.0,
      static_cast<double>(s.resources.heapBytes) / 1024.0, s.resources.gdiObjects,
      s.resources.userObjects, s.resources.handles, s.resources.tlsSlots);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  reliability::installFaultReporter();
  const double minutes = argc > 1 ? std::atof(argv[1]) : 60.0;
  double interval = argc > 2 ? std::atof(argv[2]) : (minutes >= 30.0 ? 60.0 : minutes * 2.0);
  if (!(minutes > 0.0) || !(interval > 0.0)) {
    std::fprintf(stderr, "usage: reliability_soak [minutes] [seconds between samples]\n");
    return 2;
  }
  if (interval < 2.0) interval = 2.0;

  testhost::PluginHost host;
  std::string error;
  if (!host.load(testhost::defaultPluginPath(), &error)) {
    std::fprintf(stderr, "soak: %s\n", error.c_str());
    return 1;
  }
  AEffect* effect = host.instantiate();
  if (effect == nullptr) {
    std::fprintf(stderr, "soak: main returned null\n");
    return 1;
  }
  dispatch(effect, effOpen);
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  dispatch(effect, effSetBlockSize, 0, 512);
  dispatch(effect, effMainsChanged, 0, 1);
  std::printf("soak: %.1f minutes, a sample every %.0f s; %s\n", minutes, interval,
              reliability::resourceSources().c_str());

  std::thread audioThread(audio, effect);
  std::thread automationThread(automation, effect);

  // The user-interface thread: editor sessions of about two seconds, each in a new window.
  std::vector<Sample> samples;
  long sessions = 0;
  const double start = reliability::now();
  double nextSample = start;
  while (reliability::now() - start < minutes * 60.0) {
    {
      testhost::HostWindow window("soak", 479, 161);
      dispatch(effect, effEditOpen, 0, 0, window.handle());
      HWND editor = FindWindowExA(window.handle(), nullptr, "MulchvoiceClass", nullptr);
      const double opened = reliability::now();
      int clicks = 0;
      while (reliability::now() - opened < 2.0) {
        testhost::pumpMessages(15);
        dispatch(effect, effEditIdle);
        if (editor != nullptr && ++clicks % 10 == 0) {
          const LPARAM at = (clicks / 10) % 2 == 0 ? MAKELPARAM(80, 105) : MAKELPARAM(285, 105);
          PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, at);
          PostMessageA(editor, WM_LBUTTONUP, 0, at);
        }
      }
      dispatch(effect, effEditClose);
    }
    testhost::pumpMessages(20);
    ++sessions;
    host.clearRecords();  // the test host's own record of automations would grow without end

    if (reliability::now() >= nextSample) {
      Sample s{reliability::now() - start, static_cast<double>(frames.load()) / 44100.0, sessions,
               reliability::measureResources()};
      print(s);
      samples.push_back(s);
      nextSample += interval;
    }
  }
  stopping = true;
  audioThread.join();
  automationThread.join();
  dispatch(effect, effMainsChanged, 0, 0);
  host.close(effect);
  host.unload();

  // Growth after warm-up: from the second sample (the first editor sessions and the first
  // automation have settled by then) to the last.
  int failures = 0;
  if (samples.size() >= 3) {
    const reliability::Resources& a = samples[1].resources;
    const reliability::Resources& b = samples.back().resources;
    auto check = [&failures](const char* what, double from, double to, double tolerance) {
      if (to > from + tolerance) {
        std::printf("soak: FAIL: %s grew from %.0f to %.0f\n", what, from, to);
        ++failures;
      }
    };
    check("GDI objects", a.gdiObjects, b.gdiObjects, 2);
    check("USER objects", a.userObjects, b.userObjects, 2);
    check("handles", a.handles, b.handles, 4);
    check("TLS slots", a.tlsSlots, b.tlsSlots, 0);
    check("heap bytes in use", static_cast<double>(a.heapBytes), static_cast<double>(b.heapBytes),
          64.0 * 1024.0);
    check("private bytes", static_cast<double>(a.privateBytes), static_cast<double>(b.privateBytes),
          1024.0 * 1024.0);
    std::printf(
        "wine soak: %.1f min, %.1f min of audio in %ld blocks (%ld not finite), %ld automations, "
        "%ld editor sessions; after warm-up private bytes %.3f -> %.3f MB, heap %.1f -> %.1f KB, "
        "GDI %ld->%ld, USER %ld->%ld, handles %ld->%ld, TLS slots %ld->%ld\n",
        samples.back().seconds / 60.0, static_cast<double>(frames.load()) / 44100.0 / 60.0,
        blocks.load(), badBlocks.load(), automations.load(), sessions,
        static_cast<double>(a.privateBytes) / 1048576.0, static_cast<double>(b.privateBytes) / 1048576.0,
        static_cast<double>(a.heapBytes) / 1024.0, static_cast<double>(b.heapBytes) / 1024.0,
        a.gdiObjects, b.gdiObjects, a.userObjects, b.userObjects, a.handles, b.handles, a.tlsSlots,
        b.tlsSlots);
  } else {
    std::printf("soak: too short for a curve (%zu samples)\n", samples.size());
  }
  if (badBlocks.load() != 0) {
    std::printf("soak: FAIL: %ld blocks were not finite or their outputs differed\n", badBlocks.load());
    ++failures;
  }
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}
