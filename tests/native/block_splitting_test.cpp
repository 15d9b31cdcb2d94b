// However the host cuts the stream into blocks, the plug-in produces the same samples: band
// states carry over between calls, blocks longer than the 3000-sample work buffer are run in
// slices, and the chopper gate's phases run across block ends.

#include <gtest/gtest.h>

#include <vector>

#include "engine/channel_vocoder.h"
#include "tests/fixtures/rendering.h"
#include "tests/fixtures/test_signals.h"

namespace {

constexpr int kStream = 3 * 44100;

struct Setting {
  const char* what;
  int index;  // -1: defaults only
  float value;
};

std::vector<int> randomLengths(uint32_t seed, int count, int longest) {
  signals::Random random(seed);
  std::vector<int> lengths;
  for (int i = 0; i < count; ++i) lengths.push_back(random.between(0, longest));
  return lengths;
}

void expectSameAsOneCall(const Setting& setting, const std::vector<int>& lengths,
                         const char* cutting) {
  const std::vector<float> speech = signals::speechLike(kStream, 3, 0.6f);
  const std::vector<float> carrier = signals::noise(kStream, 4, 0.3f);
  ChannelVocoder whole, cut;
  if (setting.index >= 0) {
    whole.setParameter(setting.index, setting.value);
    cut.setParameter(setting.index, setting.value);
  }
  const Rendering a = renderInOneCall(whole, speech, carrier);
  const Rendering b = renderInBlocks(cut, speech, carrier, lengths);
  SCOPED_TRACE(std::string(setting.what) + ", " + cutting);
  EXPECT_TRUE(identicalSamples(a.out1, b.out1)) << "output 1";
  EXPECT_TRUE(identicalSamples(a.out2, b.out2)) << "output 2";
  EXPECT_TRUE(identicalSamples(a.in1, b.in1)) << "input 1 as left";
  EXPECT_TRUE(identicalSamples(a.in2, b.in2)) << "input 2 as left";
  EXPECT_TRUE(sameState(whole, cut));
}

const Setting kSettings[] = {
    {"defaults, gate on", -1, 0.0f},
    {"gate bypassed", kMulchIO, 0.0f},
    {"fastest gate, 4-sample phases", kFreq, 1.0f},
    {"roles swapped", kSwitchCS, 1.0f},
};

TEST(BlockSplitting, RandomBlockLengthsUpTo5000GiveTheSamplesOfOneCall) {
  for (const Setting& setting : kSettings)
    for (uint32_t seed : {1u, 2u})
      expectSameAsOneCall(setting, randomLengths(seed, 200, 5000), "random lengths 0 to 5000");
}

TEST(BlockSplitting, ShortBlocksGiveTheSamplesOfOneCall) {
  for (const Setting& setting : kSettings) {
    expectSameAsOneCall(setting, randomLengths(9, 2000, 64), "random lengths 0 to 64");
    expectSameAsOneCall(setting, {1}, "single samples");
  }
}

TEST(BlockSplitting, BlocksAroundTheWorkBufferSizeGiveTheSamplesOfOneCall) {
  for (const Setting& setting : kSettings)
    expectSameAsOneCall(setting, {2999, 3000, 3001, 5999, 6000, 6001, 9000, 1, 44100},
                        "lengths around multiples of 3000");
}

// The first phase lasts 22050 samples and every later one 3959 at the defaults. Blocks that end
// exactly where a phase does must flip the gate within that call.
TEST(BlockSplitting, GatePhaseEndingExactlyAtABlockEnd) {
  const std::vector<float> speech = signals::speechLike(kStream, 5, 0.6f);
  const std::vector<float> carrier = signals::noise(kStream, 6, 0.3f);
  ChannelVocoder whole, cut;
  const Rendering a = renderInOneCall(whole, speech, carrier);

  Rendering b{std::vector<float>(kStream), std::vector<float>(kStream), speech, carrier};
  struct Step {
    int length;
    bool onAfter;
    int countdownAfter;
  };
  const Step steps[] = {
      {22050, false, 3959},  // the first phase ends with the block
      {3959, true, 3959},    // a whole off phase in one block
      {3958, true, 1},       // one sample short of the end
      {1, false, 3959},      // the last sample of the phase on its own
      {3960, true, 3958},    // the phase end one sample before the block end
  };
  int done = 0;
  for (const Step& step : steps) {
    float* inputs[2] = {b.in1.data() + done, b.in2.data() + done};
    float* outputs[2] = {b.out1.data() + done, b.out2.data() + done};
    processBlock(cut, inputs, outputs, step.length);
    done += step.length;
    EXPECT_EQ(step.onAfter, cut.gate().isOn()) << "after " << done << " samples";
    EXPECT_EQ(step.countdownAfter, cut.gate().countdown()) << "after " << done << " samples";
  }
  float* inputs[2] = {b.in1.data() + done, b.in2.data() + done};
  float* outputs[2] = {b.out1.data() + done, b.out2.data() + done};
  processBlock(cut, inputs, outputs, kStream - done);

  EXPECT_TRUE(identicalSamples(a.out1, b.out1));
  EXPECT_TRUE(identicalSamples(a.out2, b.out2));
  EXPECT_TRUE(sameState(whole, cut));
}

}  // namespace
