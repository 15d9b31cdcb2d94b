#pragma once
// A long, varied session run through two implementations of processReplacing side by side: the
// plug-in (natively, or MULCHVOICE.dll under Wine) and the band-by-band model. Each step may
// change parameters, then processes one block of freshly generated input in one of several
// buffer arrangements; afterwards the two memories (inputs as written back, outputs) must be
// identical bit for bit, and so must the states where the caller can see them.
//
// The input mixes speech-like material, noise from 1e-13 to 10, sines, impulses, silence
// (including silence after loud input), values around the flush threshold, subnormal numbers,
// signed zeros, NaN, infinities and 1e30; the parameters include values outside 0 to 1, NaN and
// infinities; the blocks run from 0 to 5000 frames.
//
// Every input is made with integer and basic floating-point arithmetic only, no library
// mathematics, so that a session is the same bits on every build: the 32-bit and the 64-bit
// DLL can be held against each other as well as against the model.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/native/test_signals.h"
#include "tests/wine/processing/reference_case.h"

namespace equivalence {

// Where the four buffers of a call lie in one block of memory.
enum class Layout {
  kSeparate,
  kOneInputBuffer,     // both inputs are the same buffer
  kOutputsAreInputs,   // output 1 is input 1, output 2 is input 2
  kOutputsCrossed,     // output 1 is input 2, output 2 is input 1
  kOneOutputBuffer,    // both outputs are the same buffer
  kInputsOverlap,      // input 2 starts one sample into input 1
  kOutputsOverlap,     // output 2 starts three samples into output 1
  kCount
};

inline const char* layoutName(Layout layout) {
  static const char* const names[] = {"separate buffers",   "one input buffer",
                                      "outputs are inputs", "outputs crossed",
                                      "one output buffer",  "inputs overlapping",
                                      "outputs overlapping"};
  return names[static_cast<int>(layout)];
}

// Offsets of input 1, input 2, output 1 and output 2, and the memory's size, for n frames.
struct Placement {
  size_t in1, in2, out1, out2, size;
};

inline Placement place(Layout layout, size_t n) {
  const size_t a = 0, b = n + 5, c = 2 * n + 10, d = 3 * n + 15, size = 4 * n + 20;
  switch (layout) {
    case Layout::kOneInputBuffer: return {a, a, c, d, size};
    case Layout::kOutputsAreInputs: return {a, b, a, b, size};
    case Layout::kOutputsCrossed: return {a, b, b, a, size};
    case Layout::kOneOutputBuffer: return {a, b, c, c, size};
    case Layout::kInputsOverlap: return {a, a + 1, c, d, size};
    case Layout::kOutputsOverlap: return {a, b, c, c + 3, size};
    default: return {a, b, c, d, size};
  }
}

class Session {
 public:
  using Process = std::function<void(float** inputs, float** outputs, int32_t frames)>;
  using SetParameter = std::function<void(int32_t index, float value)>;
  // Describes a disagreement in the states after a block, or returns "".
  using CompareStates = std::function<std::string()>;

  explicit Session(uint32_t seed)
      : random_(seed), speech_(reference_case::speech()), speechAt_(seed % speech_.size()) {}

  // Runs `steps` blocks. Returns "" when the two agree throughout, else the first difference.
  std::string run(int steps, const Process& plugin, const SetParameter& pluginSet,
                  const Process& model, const SetParameter& modelSet,
                  const CompareStates& compareStates = nullptr) {
    for (int step = 0; step < steps; ++step) {
      changeParameters(pluginSet, modelSet);
      const int32_t frames = blockLength();
      const Layout layout = static_cast<Layout>(random_.between(0, 5) < 4
                                                    ? 0
                                                    : random_.between(0, int(Layout::kCount) - 1));
      const Placement p = place(layout, static_cast<size_t>(frames > 0 ? frames : 0));
      std::vector<float> plugMemory(p.size);
      for (size_t i = 0; i < p.size; ++i) plugMemory[i] = static_cast<float>(i) * 0.25f;
      fill(plugMemory.data() + p.in1, frames);
      fill(plugMemory.data() + p.in2, frames);
      std::vector<float> modelMemory = plugMemory;
      call(plugin, plugMemory.data(), p, frames);
      call(model, modelMemory.data(), p, frames);
      ++blocks_;
      frames_ += frames > 0 ? frames : 0;

      if (std::memcmp(plugMemory.data(), modelMemory.data(), sizeof(float) * p.size) != 0)
        return describe(step, frames, layout, plugMemory, modelMemory, p);
      if (compareStates) {
        const std::string states = compareStates();
        if (!states.empty())
          return at(step, frames, layout) + ": " + states;
      }
    }
    return "";
  }

  long blocks() const { return blocks_; }
  long frames() const { return frames_; }

 private:
  static void call(const Process& process, float* memory, const Placement& p, int32_t frames) {
    float* inputs[2] = {memory + p.in1, memory + p.in2};
    float* outputs[2] = {memory + p.out1, memory + p.out2};
    process(inputs, outputs, frames);
  }

  int32_t blockLength() {
    static const int32_t kEdges[] = {0, 1, 2, 3, 4, 5, 7, 63, 64, 65, 256, 512, 2999, 3000, 3001,
                                     4096, 5000, -1, -4096};
    const int pick = random_.between(0, 9);
    if (pick < 3) return kEdges[random_.between(0, int(sizeof kEdges / sizeof kEdges[0]) - 1)];
    if (pick < 8) return random_.between(1, 700);
    return random_.between(1, 5000);
  }

  float parameterValue(int32_t index) {
    const int pick = random_.between(0, 19);
    if (pick < 12) return static_cast<float>(random_.unit());
    if (pick < 15) return index == kSwitchCS ? 0.0f : 1.0f;  // the switches' exact values
    if (pick < 16) return 0.0f;
    static const float kOdd[] = {-0.5f,
                                 2.0f,
                                 1e30f,
                                 -1e30f,
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 1e-30f,
                                 0.999f};
    return kOdd[random_.between(0, int(sizeof kOdd / sizeof kOdd[0]) - 1)];
  }

  void changeParameters(const SetParameter& a, const SetParameter& b) {
    const int changes = random_.between(0, 9) < 6 ? 0 : random_.between(1, 3);
    for (int i = 0; i < changes; ++i) {
      const int32_t index = random_.between(0, 7);
      const float value = parameterValue(index);
      a(index, value);
      b(index, value);
    }
    // Keep the level sane most of the time, so that the sums are not all overflow or silence.
    if (random_.between(0, 9) == 0) {
      for (int32_t index : {0, 1, 5}) {
        const float value = 0.2f + 0.8f * static_cast<float>(random_.unit());
        a(index, value);
        b(index, value);
      }
    }
  }

  // One block of one input: a kind of material chosen at random.
  void fill(float* out, int32_t frames) {
    if (frames <= 0) return;
    const int kind = random_.between(0, 11);
    static const float kLevels[] = {1e-13f, 1e-12f, 1e-11f, 1e-10f, 1e-9f, 1e-8f, 1e-7f, 1e-6f,
                                    1e-5f,  1e-4f,  1e-3f,  1e-2f,  1e-1f, 1.0f,  10.0f};
    const float level = kLevels[random_.between(0, 14)] * (1.0f + random_.bipolar() * 0.5f);
    for (int32_t k = 0; k < frames; ++k) {
      float v = 0.0f;
      switch (kind) {
        case 0: case 1: case 2: case 3:  // speech-like, continuing
          v = speech_[speechAt_++ % speech_.size()] * (kind == 0 ? 4.0f : 1.0f);
          break;
        case 4: v = level * random_.bipolar(); break;
        case 5: v = 0.7f * nextSine(); break;
        case 6: v = (k % 97 == 0) ? 1.0f : 0.0f; break;
        case 7: v = 0.0f; break;                 // silence
        case 8: v = (k & 1) ? -0.0f : 0.0f; break;
        case 9:  // around the flush threshold, subnormal numbers
          v = (random_.between(0, 1) ? 1e-11f : 1.2e-38f) * (1.0f + 0.5f * random_.bipolar());
          if (random_.between(0, 3) == 0) v = std::nextafter(1e-11f, k & 1 ? 1.0f : 0.0f);
          break;
        case 10: v = 0.3f * random_.bipolar(); break;
        default: v = hostile(); break;
      }
      out[k] = v;
    }
  }

  float hostile() {
    static const float kValues[] = {std::numeric_limits<float>::quiet_NaN(),
                                    -std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    1e30f,
                                    -1e30f,
                                    1e6f,
                                    std::nextafter(1e6f, 2e6f),
                                    std::numeric_limits<float>::max(),
                                    std::numeric_limits<float>::denorm_min(),
                                    -0.0f};
    if (random_.between(0, 15) != 0) return 0.5f * random_.bipolar();
    return kValues[random_.between(0, int(sizeof kValues / sizeof kValues[0]) - 1)];
  }

  static std::string at(int step, int32_t frames, Layout layout) {
    char text[160];
    std::snprintf(text, sizeof text, "block %d (%d frames, %s)", step, frames, layoutName(layout));
    return text;
  }

  static std::string describe(int step, int32_t frames, Layout layout,
                              const std::vector<float>& plug, const std::vector<float>& model,
                              const Placement& p) {
    size_t i = 0;
    while (std::memcmp(&plug[i], &model[i], sizeof(float)) == 0) ++i;
    const char* where = "memory";
    size_t offset = i;
    const size_t starts[4] = {p.out2, p.out1, p.in2, p.in1};  // outputs are written last
    const char* names[4] = {"output 2", "output 1", "input 2", "input 1"};
    for (int b = 0; b < 4; ++b) {
      if (i >= starts[b] && i < starts[b] + static_cast<size_t>(frames)) {
        where = names[b];
        offset = i - starts[b];
        break;
      }
    }
    char text[200];
    std::snprintf(text, sizeof text, ": %s sample %zu is %.9g, the band-by-band form gives %.9g",
                  where, offset, static_cast<double>(plug[i]), static_cast<double>(model[i]));
    return at(step, frames, layout) + text;
  }

  signals::Random random_;
  // A sine of 0.013 radians per sample from its recurrence s[n] = 2 cos(0.013) s[n-1] - s[n-2].
  float nextSine() {
    const float next = 1.99983100f * sine1_ - sine2_;
    sine2_ = sine1_;
    sine1_ = next;
    return next;
  }

  std::vector<float> speech_;
  size_t speechAt_;
  float sine1_ = 0.0129996f, sine2_ = 0.0f;
  long blocks_ = 0;
  long frames_ = 0;
};

}  // namespace equivalence
