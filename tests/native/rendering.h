#pragma once
// Running the vocoder's core over a whole stream in blocks, and comparing renderings bit for bit.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/band_filter.h"
#include "engine/channel_vocoder.h"

struct Rendering {
  std::vector<float> out1, out2;  // the two outputs
  std::vector<float> in1, in2;    // the input buffers as the plug-in left them
};

// One block through the core, with the buffers as a host passes them.
inline void processBlock(ChannelVocoder& vocoder, float** inputs, float** outputs, int32_t n) {
  vocoder.process(inputs[0], inputs[1], outputs[0], outputs[1], n);
}

// Renders the stream through the core, cut into blocks of the given lengths (cycled if
// they run out before the stream does; a length that overshoots is cut at the stream's end).
inline Rendering renderInBlocks(ChannelVocoder& vocoder, const std::vector<float>& in1,
                                const std::vector<float>& in2, const std::vector<int>& lengths) {
  Rendering r{std::vector<float>(in1.size()), std::vector<float>(in1.size()), in1, in2};
  const int total = static_cast<int>(in1.size());
  size_t next = 0;
  for (int done = 0; done < total;) {
    int length = lengths[next++ % lengths.size()];
    if (length > total - done) length = total - done;
    float* inputs[2] = {r.in1.data() + done, r.in2.data() + done};
    float* outputs[2] = {r.out1.data() + done, r.out2.data() + done};
    processBlock(vocoder, inputs, outputs, length);
    if (length > 0) done += length;
  }
  return r;
}

inline Rendering renderInOneCall(ChannelVocoder& vocoder, const std::vector<float>& in1,
                                 const std::vector<float>& in2) {
  return renderInBlocks(vocoder, in1, in2, {static_cast<int>(in1.size())});
}

inline bool identicalBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Passes when the two sequences hold the same bits; otherwise names the first sample that differs.
inline ::testing::AssertionResult identicalSamples(const std::vector<float>& expected,
                                                   const std::vector<float>& actual) {
  if (expected.size() != actual.size())
    return ::testing::AssertionFailure()
           << "lengths differ: " << expected.size() << " and " << actual.size();
  for (size_t k = 0; k < expected.size(); ++k) {
    if (!identicalBits(expected[k], actual[k]))
      return ::testing::AssertionFailure() << "first difference at sample " << k << ": "
                                           << expected[k] << " expected, " << actual[k] << " found";
  }
  return ::testing::AssertionSuccess();
}

// The five state values of every band and the gate's state, bit for bit.
inline ::testing::AssertionResult sameState(const ChannelVocoder& a, const ChannelVocoder& b) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter x, y;
    a.getBand(band, x);
    b.getBand(band, y);
    const float xs[5] = {x.speechZ1, x.speechZ2, x.carrierZ1, x.carrierZ2, x.envZ1};
    const float ys[5] = {y.speechZ1, y.speechZ2, y.carrierZ1, y.carrierZ2, y.envZ1};
    for (int i = 0; i < 5; ++i)
      if (!identicalBits(xs[i], ys[i]))
        return ::testing::AssertionFailure()
               << "band " << band << " state value " << i + 1 << ": " << xs[i] << " and " << ys[i];
  }
  const ChopperGate& g = a.gate();
  const ChopperGate& h = b.gate();
  if (g.isOn() != h.isOn() || g.countdown() != h.countdown() ||
      !identicalBits(g.smootherState(), h.smootherState()))
    return ::testing::AssertionFailure()
           << "gate: " << g.isOn() << "/" << g.countdown() << "/" << g.smootherState() << " and "
           << h.isOn() << "/" << h.countdown() << "/" << h.smootherState();
  return ::testing::AssertionSuccess();
}
