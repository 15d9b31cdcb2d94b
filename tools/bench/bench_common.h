#pragma once
// What every benchmark shares: its input signals, the host's buffers and how a block is copied
// into them, the timing of a run and its median, and the RESULT line, so that every figure is
// measured and printed the same way (tools/bench.sh parses the lines).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if !defined(_WIN32) && __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define MULCHVOICE_BENCH_CALLGRIND 1
#endif

namespace bench {

constexpr double kSampleRate = 44100.0;
constexpr int kRunFrames = 2 * 44100;  // one timed run
constexpr int kRuns = 7;               // the runs whose median a RESULT line gives
constexpr int kOnceFrames = 44100;     // the frames `--once` renders for an instruction count
constexpr int kBlocks[] = {64, 256, 512, 3000};

// Speech-like and carrier-like input without library mathematics, so every build generates the
// same samples: pulse trains ringing in a resonator under a syllable envelope, and a sawtooth
// with noise. At level 1 the speech peaks near 0.27 and the carrier near 0.4.
struct Input {
  std::vector<float> speech, carrier;
  Input(int frames, float speechLevel, float carrierLevel) : speech(frames), carrier(frames) {
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
      speech[k] = speechLevel * envelope * (0.05f * y + 0.05f * noise);
      carrier[k] =
          carrierLevel * (0.3f * (static_cast<float>(k % 401) / 200.5f - 1.0f) + 0.1f * noise);
    }
  }
};

// What the benchmarks render: the normal input, and a loud one for priming the states.
struct Inputs {
  Input normal{8 * 44100, 1.0f, 1.0f};
  Input loud{8 * 44100, 3.0f, 2.25f};  // peaks near 0.8 and 0.9
};

// A host's four buffers of one block, and the pointer arrays a plug-in is handed.
struct Buffers {
  std::vector<float> in1, in2, out1, out2;
  float* inputs[2];
  float* outputs[2];
  explicit Buffers(int block)
      : in1(block), in2(block), out1(block), out2(block), inputs{in1.data(), in2.data()},
        outputs{out1.data(), out2.data()} {}
  Buffers(const Buffers&) = delete;
  Buffers& operator=(const Buffers&) = delete;
};

// Renders `frames` frames of the input in blocks of `block`: each block is copied into the input
// buffers first, as a host does (a plug-in may overwrite them, and the copy is part of a host's
// work), then `process(b, block)` runs the plug-in on the buffers.
template <typename Process>
void render(const Input& input, int block, int frames, Buffers& b, Process process) {
  const int length = static_cast<int>(input.speech.size());
  for (int done = 0; done < frames; done += block) {
    const int offset = done % (length - block);
    std::memcpy(b.in1.data(), input.speech.data() + offset, sizeof(float) * block);
    std::memcpy(b.in2.data(), input.carrier.data() + offset, sizeof(float) * block);
    process(b, block);
  }
}

// The wall-clock time of `run()`, which renders `frames` frames, in nanoseconds per frame.
template <typename Run>
double nanosecondsPerFrame(int frames, Run run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  const auto stop = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(stop - start).count() / frames;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One timing's line: nanoseconds per frame and the real-time factor at kSampleRate.
inline void printResult(const std::string& name, int block, double nanoseconds) {
  std::printf("RESULT name=%s block=%d ns_per_sample=%.1f rtf=%.1f\n", name.c_str(), block,
              nanoseconds, 1e9 / kSampleRate / nanoseconds);
}

// Starts callgrind's counts afresh, so that `--once` counts the measured stretch alone (without
// valgrind's client requests a native `--once` refuses to run).
inline void zeroInstructionCounts() {
#ifdef MULCHVOICE_BENCH_CALLGRIND
  CALLGRIND_ZERO_STATS;
#endif
}

}  // namespace bench
