// Speed of the vocoder's processReplacing at block sizes 64, 512 and 3000: nanoseconds per
// sample frame (the median of several runs of two seconds of audio each) and the real-time
// factor at 44100 Hz (how many times faster than real time one instance runs). Figures are
// printed for the default program (gate on) and with the gate bypassed.
//
// Native:
//   cmake -S . -B build/native && cmake --build build/native --target process_bench
//   build/native/tools/bench/process_bench
// The DLL under Wine (the 32-bit build loads MULCHVOICE.dll through its `main`, as a host does;
// the plug-in is found beside the program or through MULCHVOICE_DLL):
//   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake
//   cmake --build build/win32 --target process_bench
//   tools/wine-env.sh start build/win32
//   tools/wine-env.sh run build/win32 build/win32/process_bench.exe
//   tools/wine-env.sh stop build/win32
// Instructions per sample frame, counted by callgrind over processReplacing alone (--once N
// renders about one second at block size N and prints how many frames), one command per line:
//   valgrind --tool=callgrind --callgrind-out-file=build/native/bench.callgrind
//       --toggle-collect='Vocoder::processReplacing*' build/native/tools/bench/process_bench
//       --once 512
//   callgrind_annotate build/native/bench.callgrind | grep 'PROGRAM TOTALS'
// then divide the total instruction count (Ir) by the frames printed.
//
// At the default program the chopper gate's smoothed gain decays into subnormal numbers in every
// off phase (the gate is not flushed), and arithmetic on them is slow on most processors: that
// is the difference between the "defaults" and "gate bypassed" lines.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/aeffect.h"

#ifdef _WIN32
#include "tools/testhost/plugin_host.h"
#else
#include "engine/vocoder.h"
#endif

namespace {

constexpr double kSampleRate = 44100.0;
constexpr int kRunFrames = 2 * 44100;
constexpr int kRuns = 7;

// Speech-like and carrier-like input without library mathematics: pulse trains ringing in a
// resonator under a syllable envelope, and a sawtooth with noise.
struct Input {
  std::vector<float> speech, carrier;
  explicit Input(int frames) : speech(frames), carrier(frames) {
    uint32_t state = 2463534242u;
    float y1 = 0.0f, y2 = 0.0f;
    for (int k = 0; k < frames; ++k) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const float noise = static_cast<float>(static_cast<int32_t>(state)) * 4.656613e-10f;
      const float y = (k % 210 == 0 ? 1.0f : 0.0f) + 1.93f * y1 - 0.97f * y2;
      y2 = y1;
      y1 = y;
      const float phase = static_cast<float>(k % 9000) / 9000.0f;
      const float envelope = phase < 0.5f ? 2.0f * phase : 2.0f * (1.0f - phase);
      speech[k] = envelope * (0.05f * y + 0.05f * noise);
      carrier[k] = 0.3f * (static_cast<float>(k % 401) / 200.5f - 1.0f) + 0.1f * noise;
    }
  }
};

// Renders `frames` frames of the input in blocks of `block`; the inputs are copied in first,
// since processReplacing overwrites them, and that copy is part of what a host does too.
void render(AEffect* effect, const Input& input, int block, int frames, std::vector<float>& in1,
            std::vector<float>& in2, std::vector<float>& out1, std::vector<float>& out2) {
  const int length = static_cast<int>(input.speech.size());
  for (int done = 0; done < frames; done += block) {
    const int offset = done % (length - block);
    std::memcpy(in1.data(), input.speech.data() + offset, sizeof(float) * block);
    std::memcpy(in2.data(), input.carrier.data() + offset, sizeof(float) * block);
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    effect->processReplacing(effect, inputs, outputs, block);
  }
}

double medianNanosecondsPerFrame(AEffect* effect, const Input& input, int block) {
  std::vector<float> in1(block), in2(block), out1(block), out2(block);
  render(effect, input, block, kRunFrames / 2, in1, in2, out1, out2);  // warm up
  std::vector<double> perFrame;
  for (int run = 0; run < kRuns; ++run) {
    const int frames = (kRunFrames / block) * block;
    const auto start = std::chrono::steady_clock::now();
    render(effect, input, block, frames, in1, in2, out1, out2);
    const auto stop = std::chrono::steady_clock::now();
    perFrame.push_back(std::chrono::duration<double, std::nano>(stop - start).count() / frames);
  }
  std::sort(perFrame.begin(), perFrame.end());
  return perFrame[perFrame.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  testhost::PluginHost host;
  std::string error;
  if (!host.load(testhost::defaultPluginPath(), &error)) {
    std::fprintf(stderr, "process_bench: %s\n", error.c_str());
    return 1;
  }
  auto instantiate = [&]() { return host.instantiate(); };
  const char* what = "MULCHVOICE.dll through its main";
#else
  std::vector<Vocoder*> effects;
  auto instantiate = [&]() {
    effects.push_back(new Vocoder(nullptr));
    return effects.back()->getAeffect();
  };
  const char* what = "the effect object, natively";
#endif
  const Input input(8 * 44100);

  if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {  // for callgrind
    const int block = std::atoi(argv[2]);
    if (block < 1 || block > 44100) return 2;
    AEffect* effect = instantiate();
    if (effect == nullptr) return 1;
    std::vector<float> in1(block), in2(block), out1(block), out2(block);
    const int frames = (44100 / block) * block;
    render(effect, input, block, frames, in1, in2, out1, out2);
    std::printf("%d frames at block size %d\n", frames, block);
    return 0;
  }

  std::printf("processReplacing of %s: median of %d runs of %d frames\n", what, kRuns, kRunFrames);
  std::printf("%-16s %10s %14s %16s\n", "setting", "block", "ns per frame", "real-time factor");
  const struct {
    const char* name;
    float mulch;
  } settings[] = {{"defaults", 1.0f}, {"gate bypassed", 0.0f}};
  for (const auto& setting : settings) {
    for (int block : {64, 512, 3000}) {
      AEffect* effect = instantiate();
      if (effect == nullptr) {
        std::fprintf(stderr, "process_bench: the plug-in gave no effect\n");
        return 1;
      }
      effect->setParameter(effect, 7, setting.mulch);
      const double ns = medianNanosecondsPerFrame(effect, input, block);
      std::printf("%-16s %10d %14.1f %16.0f\n", setting.name, block, ns,
                  1e9 / kSampleRate / ns);
    }
  }
  return 0;
}
