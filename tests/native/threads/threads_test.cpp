// One thread renders audio through the host's processReplacing entry while a second hammers
// setParameter, setProgram and the program names through the host's entries, and a third reads
// parameters and names back as an editor does. Without a sanitizer this shows that nothing
// breaks (every output sample stays finite); built with ThreadSanitizer it shows that the
// threads share nothing but relaxed atomics: any data race is reported and fails the run.

#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "engine/vocoder.h"
#include "host/aeffect.h"
#include "tests/native/test_signals.h"

namespace {

constexpr int kBlocks = 240;
constexpr int kLongest = 4500;

}  // namespace

int main() {
  Vocoder vocoder(nullptr);
  AEffect* effect = vocoder.getAeffect();
  std::atomic<bool> done{false};
  std::atomic<bool> badSample{false};

  std::thread audio([&] {
    const std::vector<float> speech = signals::speechLike(kLongest, 1, 0.6f);
    const std::vector<float> carrier = signals::noise(kLongest, 2, 0.3f);
    std::vector<float> in1(kLongest), in2(kLongest), out1(kLongest), out2(kLongest);
    const int lengths[] = {64, 512, 3000, 4500, 1, 257};
    for (int block = 0; block < kBlocks; ++block) {
      const int n = lengths[block % 6];
      in1.assign(speech.begin(), speech.begin() + n);
      in2.assign(carrier.begin(), carrier.begin() + n);
      float* inputs[2] = {in1.data(), in2.data()};
      float* outputs[2] = {out1.data(), out2.data()};
      effect->processReplacing(effect, inputs, outputs, n);
      for (int k = 0; k < n; ++k)
        if (!std::isfinite(out1[k]) || out1[k] != out2[k]) badSample = true;
      if (block % 17 == 0) effect->process(effect, inputs, outputs, n);
    }
    done = true;
  });

  std::thread host([&] {
    signals::Random random(3);
    char name[kProgramNameSize];
    const char* names[] = {"Smooth Mulch", "Rough", "A name much longer than the field is"};
    long round = 0;
    while (!done.load()) {
      const int32_t index = static_cast<int32_t>(random.next() % 10) - 1;  // -1 to 8
      const float value = static_cast<float>(random.unit());
      effect->setParameter(effect, index, value);
      effect->setParameter(effect, kMulchIO, (round & 1) ? 1.0f : 0.0f);
      if (round % 5 == 0)
        effect->dispatcher(effect, effSetProgram, 0, round / 5 % 2, nullptr, 0.0f);
      if (round % 7 == 0) {
        effect->dispatcher(effect, effSetProgramName, 0, 0, const_cast<char*>(names[round % 3]),
                           0.0f);
        effect->dispatcher(effect, effGetProgramName, 0, 0, name, 0.0f);
      }
      ++round;
    }
    std::printf("host thread: %ld rounds of parameter and program changes\n", round);
  });

  std::thread editor([&] {
    char name[kProgramNameSize];
    float sum = 0.0f;
    while (!done.load()) {
      for (int32_t index = 0; index < kNumParams; ++index)
        sum += effect->getParameter(effect, index);
      effect->dispatcher(effect, effGetProgram, 0, 0, nullptr, 0.0f);
      vocoder.getProgramName(name);
    }
    std::printf("editor thread: parameter sum %g\n", sum);
  });

  audio.join();
  host.join();
  editor.join();
  if (badSample) {
    std::printf("FAIL: an output sample was not finite or the outputs differed\n");
    return 1;
  }
  std::printf("PASS: %d blocks rendered while parameters and programs changed\n", kBlocks);
  return 0;
}
