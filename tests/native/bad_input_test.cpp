// What a careless or broken host may hand the processing: samples that are not numbers,
// infinities, subnormals and enormous values, parameter values far outside 0 to 1, counts of
// zero or below and null buffers. None may crash, leave a NaN or an infinity in the state or
// send one to the host.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/channel_vocoder.h"
#include "vst/vocoder.h"
#include "tests/fixtures/rendering.h"
#include "tests/fixtures/test_signals.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int kLength = 3 * 44100;

// Every state value of every band and the gate's gain are finite numbers.
::testing::AssertionResult stateIsFinite(const ChannelVocoder& vocoder) {
  for (int32_t band = 1; band <= kNumBands; ++band) {
    BandFilter r;
    vocoder.getBand(band, r);
    const float values[5] = {r.speechZ1, r.speechZ2, r.carrierZ1, r.carrierZ2, r.envZ1};
    for (float v : values)
      if (!std::isfinite(v))
        return ::testing::AssertionFailure() << "band " << band << " holds " << v;
  }
  if (!std::isfinite(vocoder.gate().smootherState()))
    return ::testing::AssertionFailure() << "gate holds " << vocoder.gate().smootherState();
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult allFinite(const std::vector<float>& samples) {
  for (size_t k = 0; k < samples.size(); ++k)
    if (!std::isfinite(samples[k]))
      return ::testing::AssertionFailure() << "sample " << k << " is " << samples[k];
  return ::testing::AssertionSuccess();
}

// Renders in blocks of 1000, checking the state after every block.
Rendering renderChecked(ChannelVocoder& vocoder, const std::vector<float>& in1,
                        const std::vector<float>& in2) {
  Rendering r{std::vector<float>(in1.size()), std::vector<float>(in1.size()), in1, in2};
  for (size_t done = 0; done < in1.size(); done += 1000) {
    const int n = static_cast<int>(std::min<size_t>(1000, in1.size() - done));
    float* inputs[2] = {r.in1.data() + done, r.in2.data() + done};
    float* outputs[2] = {r.out1.data() + done, r.out2.data() + done};
    processBlock(vocoder, inputs, outputs, n);
    EXPECT_TRUE(stateIsFinite(vocoder)) << "after " << done + n << " samples";
  }
  return r;
}

// Samples that are not numbers, infinite, subnormal or below the flush threshold are taken as
// silence: the stream renders exactly as the same stream with zeros in their place.
TEST(BadInput, InvalidAndTinySamplesActAsSilence) {
  const float odd[] = {kNaN, -kNaN, kInf, -kInf, 1e-40f, -1e-45f, 9.99e-12f, -5e-12f};
  std::vector<float> speech = signals::speechLike(kLength, 1, 0.6f);
  std::vector<float> carrier = signals::noise(kLength, 2, 0.3f);
  std::vector<float> cleanSpeech = speech, cleanCarrier = carrier;
  signals::Random random(3);
  for (int i = 0; i < 4000; ++i) {  // scattered samples on either input
    const size_t k = random.next() % kLength;
    std::vector<float>& target = (i & 1) ? speech : carrier;
    std::vector<float>& clean = (i & 1) ? cleanSpeech : cleanCarrier;
    target[k] = odd[random.next() % 8];
    clean[k] = 0.0f;
  }
  for (int k = 50000; k < 51000; ++k) {  // and a burst on both
    speech[k] = carrier[k] = odd[k % 8];
    cleanSpeech[k] = cleanCarrier[k] = 0.0f;
  }

  ChannelVocoder dirty, clean;
  const Rendering a = renderChecked(dirty, speech, carrier);
  const Rendering b = renderInBlocks(clean, cleanSpeech, cleanCarrier, {1000});
  EXPECT_TRUE(identicalSamples(b.out1, a.out1));
  EXPECT_TRUE(identicalSamples(b.out2, a.out2));
  EXPECT_TRUE(identicalSamples(b.in1, a.in1)) << "the flushed samples are written back as 0";
  EXPECT_TRUE(identicalSamples(b.in2, a.in2));
  EXPECT_TRUE(sameState(clean, dirty));
}

// Samples near the largest float overflow the band arithmetic. The states overflowing are
// flushed, the outputs overflowing leave as 0, and once the inputs are sane again the effect
// sounds as before.
TEST(BadInput, EnormousSamplesNeverReachStateOrOutputAsInfinity) {
  std::vector<float> speech = signals::speechLike(2 * kLength, 4, 0.6f);
  std::vector<float> carrier = signals::noise(2 * kLength, 5, 0.3f);
  for (int k = 30000; k < 33000; ++k) {
    speech[k] = (k & 1) ? 3.4e38f : -1e30f;
    carrier[k] = (k % 3) ? 1e20f : -3.4e38f;
  }
  ChannelVocoder vocoder, twin;
  const Rendering r = renderChecked(vocoder, speech, carrier);
  EXPECT_TRUE(allFinite(r.out1));
  EXPECT_TRUE(allFinite(r.out2));
  EXPECT_TRUE(identicalSamples(r.out1, r.out2));

  // Six seconds on, the sound is the undisturbed one again.
  const Rendering t = renderInBlocks(twin, speech, carrier, {1000});
  std::vector<float> tail(r.out1.end() - 44100, r.out1.end());
  std::vector<float> twinTail(t.out1.end() - 44100, t.out1.end());
  double error = 0.0, level = 0.0;
  for (size_t k = 0; k < tail.size(); ++k) {
    error += (tail[k] - twinTail[k]) * (tail[k] - twinTail[k]);
    level += twinTail[k] * twinTail[k];
  }
  EXPECT_GT(level, 0.0);
  EXPECT_LT(std::sqrt(error / level), 1e-3);
}

// Parameter values no host should send: the outputs and the state stay finite. "morph" outside
// 0 to 1 smooths as the nearest end of its range (below 0 the smoother would be unstable).
TEST(BadInput, ParametersFarOutOfRangeKeepOutputAndStateFinite) {
  const std::vector<float> speech = signals::speechLike(44100, 6, 0.6f);
  const std::vector<float> carrier = signals::noise(44100, 7, 0.3f);
  for (int32_t index : {kCarrier, kSpeech, kMorph, kGain, kFilter, kFreq}) {
    for (float value : {kNaN, kInf, -kInf, 1e30f, -1e30f, -5.0f, 5.0f}) {
      ChannelVocoder vocoder;
      vocoder.setParameter(index, value);
      const Rendering r = renderChecked(vocoder, speech, carrier);
      EXPECT_TRUE(allFinite(r.out1)) << "parameter " << index << " at " << value;
      EXPECT_TRUE(allFinite(r.out2)) << "parameter " << index << " at " << value;
    }
  }
  const struct {
    float value, actsAs;
  } morphs[] = {{-0.5f, 0.0f}, {kNaN, 0.0f}, {-kInf, 0.0f}, {5.0f, 1.0f}, {kInf, 1.0f}};
  for (const auto& m : morphs) {
    ChannelVocoder odd, plain;
    odd.setParameter(kMorph, m.value);
    plain.setParameter(kMorph, m.actsAs);
    EXPECT_TRUE(identicalSamples(renderInBlocks(plain, speech, carrier, {512}).out1,
                                 renderInBlocks(odd, speech, carrier, {512}).out1))
        << "morph " << m.value;
    EXPECT_TRUE(std::isnan(m.value) ? std::isnan(odd.getParameter(kMorph))
                                    : odd.getParameter(kMorph) == m.value)
        << "the parameter keeps the value it was given";
  }
}

// A count of zero or below processes nothing, through either entry of the effect: no sample is
// read or written and no state moves.
TEST(BadInput, CountsOfZeroOrBelowDoNothing) {
  Vocoder vocoder(nullptr);
  ChannelVocoder twin;
  const std::vector<float> speech = signals::speechLike(5000, 8, 0.6f);
  const std::vector<float> carrier = signals::noise(5000, 9, 0.3f);
  renderInBlocks(vocoder.engine(), speech, carrier, {5000});
  renderInBlocks(twin, speech, carrier, {5000});

  for (int32_t count : {0, -1, -3000, INT32_MIN}) {
    std::vector<float> in1(16, 0.5f), in2(16, -0.5f), out1(16, 7.0f), out2(16, -7.0f);
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    vocoder.processReplacing(inputs, outputs, count);
    vocoder.process(inputs, outputs, count);
    for (int k = 0; k < 16; ++k) {
      ASSERT_EQ(0.5f, in1[k]) << "count " << count;
      ASSERT_EQ(-0.5f, in2[k]) << "count " << count;
      ASSERT_EQ(7.0f, out1[k]) << "count " << count;
      ASSERT_EQ(-7.0f, out2[k]) << "count " << count;
    }
    EXPECT_TRUE(sameState(twin, vocoder.engine())) << "count " << count;
  }
}

// Null buffer arrays or buffers are refused as a whole: nothing written, no state moved.
TEST(BadInput, NullBuffersAreRefused) {
  Vocoder vocoder(nullptr);
  ChannelVocoder twin;
  std::vector<float> in1(64, 0.5f), in2(64, -0.5f), out1(64, 7.0f), out2(64, -7.0f);
  float* good[2] = {in1.data(), in2.data()};
  float* goodOut[2] = {out1.data(), out2.data()};
  float* firstMissing[2] = {nullptr, in2.data()};
  float* secondMissing[2] = {in1.data(), nullptr};
  float* firstOutMissing[2] = {nullptr, out2.data()};
  float* secondOutMissing[2] = {out1.data(), nullptr};
  struct Call {
    float** inputs;
    float** outputs;
  } calls[] = {{nullptr, goodOut},      {good, nullptr},          {nullptr, nullptr},
               {firstMissing, goodOut}, {secondMissing, goodOut}, {good, firstOutMissing},
               {good, secondOutMissing}};
  for (const Call& call : calls) {
    vocoder.processReplacing(call.inputs, call.outputs, 64);
    for (int k = 0; k < 64; ++k) {
      ASSERT_EQ(0.5f, in1[k]);
      ASSERT_EQ(-0.5f, in2[k]);
      ASSERT_EQ(7.0f, out1[k]);
      ASSERT_EQ(-7.0f, out2[k]);
    }
  }
  EXPECT_TRUE(sameState(twin, vocoder.engine()));

  // The plain copy copies what it can: a channel with a missing buffer is skipped.
  vocoder.process(nullptr, goodOut, 64);
  vocoder.process(good, nullptr, 64);
  vocoder.process(firstMissing, goodOut, 64);
  EXPECT_EQ(7.0f, out1[0]);
  EXPECT_EQ(-0.5f, out2[0]);
}

}  // namespace
