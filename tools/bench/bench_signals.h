#pragma once
// The benchmarks' input signals, the same for every benchmark and build: made with integer and
// basic floating-point arithmetic only, so every build generates the same samples.

#include <cstdint>
#include <vector>

namespace bench {

// Speech-like and carrier-like input without library mathematics: pulse trains ringing in a
// resonator under a syllable envelope, and a sawtooth with noise. At level 1 the speech peaks
// near 0.27 and the carrier near 0.4.
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

}  // namespace bench
