// Which buffer plays which part: the two input roles chosen by "switch C/S", the input buffers
// left holding the scaled inputs, outputs that share memory with the inputs, one buffer handed
// as both inputs, the gate switch, the three gains, and the plain copy of `process`.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/flush.h"
#include "engine/channel_vocoder.h"
#include "vst/vocoder.h"
#include "tests/fixtures/rendering.h"
#include "tests/fixtures/test_signals.h"
#include "tests/native/vocoder_model.h"

namespace {

constexpr int kLength = 20000;
const std::vector<int> kBlocks = {512, 3001, 64, 4999, 1};

std::vector<float> speechSignal() { return signals::speechLike(kLength, 21, 0.6f); }
std::vector<float> carrierSignal() { return signals::noise(kLength, 22, 0.3f); }

double rmsDifference(const std::vector<float>& a, const std::vector<float>& b, double scale = 1.0) {
  double sum = 0.0;
  for (size_t k = 0; k < a.size(); ++k) {
    const double d = a[k] - scale * b[k];
    sum += d * d;
  }
  return std::sqrt(sum / static_cast<double>(a.size()));
}

double rmsOf(const std::vector<float>& a) {
  return rmsDifference(a, std::vector<float>(a.size(), 0.0f));
}

// Error of a rendering against the model, in dB below the model's RMS.
double decibelsFromModel(const std::vector<float>& actual, const std::vector<double>& expected) {
  double error = 0.0, signal = 0.0;
  for (size_t k = 0; k < actual.size(); ++k) {
    error += (actual[k] - expected[k]) * (actual[k] - expected[k]);
    signal += expected[k] * expected[k];
  }
  return signals::decibels(std::sqrt(error / signal));
}

TEST(BufferRoles, BothOutputsCarryTheSameSamples) {
  const struct {
    int index;
    float value;
  } settings[] = {
      {kMulchIO, 1.0f}, {kMulchIO, 0.0f}, {kSwitchCS, 1.0f}, {kFreq, 1.0f}, {kGain, 0.0f}};
  for (const auto& setting : settings) {
    ChannelVocoder vocoder;
    vocoder.setParameter(setting.index, setting.value);
    const Rendering r = renderInBlocks(vocoder, speechSignal(), carrierSignal(), kBlocks);
    EXPECT_TRUE(identicalSamples(r.out1, r.out2))
        << "parameter " << setting.index << " at " << setting.value;
  }
}

TEST(BufferRoles, OutputsInTheInputBuffersGiveTheSameSamples) {
  ChannelVocoder separate;
  const Rendering expected = renderInBlocks(separate, speechSignal(), carrierSignal(), kBlocks);

  enum Layout { kInPlace, kCrossed, kBothIntoInput1 };
  for (Layout layout : {kInPlace, kCrossed, kBothIntoInput1}) {
    ChannelVocoder vocoder;
    std::vector<float> in1 = speechSignal(), in2 = carrierSignal();
    int done = 0;
    for (size_t i = 0; done < kLength; ++i) {
      const int length = std::min(kBlocks[i % kBlocks.size()], kLength - done);
      float* inputs[2] = {in1.data() + done, in2.data() + done};
      float* outputs[2] = {inputs[0], inputs[1]};
      if (layout == kCrossed) std::swap(outputs[0], outputs[1]);
      if (layout == kBothIntoInput1) outputs[1] = inputs[0];
      processBlock(vocoder, inputs, outputs, length);
      done += length;
    }
    EXPECT_TRUE(identicalSamples(expected.out1, in1)) << "layout " << layout;
    if (layout != kBothIntoInput1) {
      EXPECT_TRUE(identicalSamples(expected.out1, in2)) << "layout " << layout;
    }
    EXPECT_TRUE(sameState(separate, vocoder)) << "layout " << layout;
  }
}

// Inputs that must not be written give the outputs and states of inputs in buffers of their
// own, also when the outputs are the input buffers.
TEST(BufferRoles, InputsKeptAsTheyAreGiveTheSameSamples) {
  ChannelVocoder written;
  written.setParameter(kCarrier, 0.7f);
  const Rendering expected = renderInBlocks(written, speechSignal(), carrierSignal(), kBlocks);
  for (bool inPlace : {false, true}) {
    ChannelVocoder kept;
    kept.setParameter(kCarrier, 0.7f);
    const std::vector<float> speech = speechSignal(), carrier = carrierSignal();
    std::vector<float> in1 = speech, in2 = carrier, out1(kLength), out2(kLength);
    int done = 0;
    for (size_t i = 0; done < kLength; ++i) {
      const int length = std::min(kBlocks[i % kBlocks.size()], kLength - done);
      float* o1 = (inPlace ? in1 : out1).data() + done;
      float* o2 = (inPlace ? in2 : out2).data() + done;
      kept.processKeepingInputs(in1.data() + done, in2.data() + done, o1, o2, length);
      done += length;
    }
    EXPECT_TRUE(identicalSamples(expected.out1, inPlace ? in1 : out1)) << "in place " << inPlace;
    EXPECT_TRUE(identicalSamples(expected.out2, inPlace ? in2 : out2)) << "in place " << inPlace;
    if (!inPlace) {
      EXPECT_TRUE(identicalSamples(speech, in1));
      EXPECT_TRUE(identicalSamples(carrier, in2));
    }
    EXPECT_TRUE(sameState(written, kept)) << "in place " << inPlace;
  }
}

// After a call the speech buffer holds its flushed samples times "carrier" (parameter 0) and
// the carrier buffer its flushed samples times "speech" (parameter 1), whichever input each is.
TEST(BufferRoles, InputsAreLeftHoldingTheirFlushedSamplesTimesTheirGains) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float odd[] = {0.5f, -1.0f, 1e-11f, -1e-11f, 9.9e-12f, 1e-40f, -1e-45f,
                       nan,  inf,   -inf,   3e38f,   0.0f,     -0.0f,  0.25f};
  std::vector<float> a(kLength), b(kLength);
  for (int k = 0; k < kLength; ++k) {
    a[k] = odd[k % 14];
    b[k] = odd[(k * 5 + 3) % 14];
  }
  for (float switchCS : {0.0f, 1.0f}) {
    ChannelVocoder vocoder;
    vocoder.setParameter(kCarrier, 0.7f);
    vocoder.setParameter(kSpeech, 0.3f);
    vocoder.setParameter(kSwitchCS, switchCS);
    const Rendering r = renderInBlocks(vocoder, a, b, kBlocks);
    const float gain1 = switchCS == 0.0f ? 0.7f : 0.3f;  // input 1 is the speech at 0.0
    const float gain2 = switchCS == 0.0f ? 0.3f : 0.7f;
    for (int k = 0; k < kLength; ++k) {
      ASSERT_TRUE(sameBits(flush(a[k]) * gain1, r.in1[k]))
          << "input 1 sample " << k << " was " << a[k] << ", switch " << switchCS;
      ASSERT_TRUE(sameBits(flush(b[k]) * gain2, r.in2[k]))
          << "input 2 sample " << k << " was " << b[k] << ", switch " << switchCS;
    }
  }
}

// One buffer as both inputs: band 1 reads the same sample for both roles, and the value left
// there is the carrier-side one (its write lands last), which bands 2 to 8 then read on both
// sides. With the input gains apart the model tells the two readings clearly apart.
TEST(BufferRoles, OneBufferAsBothInputsLeavesTheCarrierSideValue) {
  const std::vector<float> signal = speechSignal();
  ChannelVocoder vocoder;
  vocoder.setParameter(kCarrier, 0.5f);
  vocoder.setParameter(kSpeech, 0.9f);
  vocoder.setParameter(kMulchIO, 0.0f);
  std::vector<float> buffer = signal, out1(kLength), out2(kLength);
  for (int done = 0; done < kLength; done += 2500) {
    float* inputs[2] = {buffer.data() + done, buffer.data() + done};
    float* outputs[2] = {out1.data() + done, out2.data() + done};
    processBlock(vocoder, inputs, outputs, 2500);
  }
  for (int k = 0; k < kLength; ++k)
    ASSERT_TRUE(sameBits(flush(signal[k]) * 0.9f, buffer[k])) << "sample " << k;

  model::VocoderModel shared, separate;
  for (model::VocoderModel* m : {&shared, &separate}) {
    m->setParameter(kCarrier, 0.5f);
    m->setParameter(kSpeech, 0.9f);
    m->setParameter(kMulchIO, 0.0f);
  }
  shared.setSharedBuffer(true);
  std::vector<double> expectShared(kLength), expectSeparate(kLength);
  shared.process(signal.data(), signal.data(), expectShared.data(), kLength);
  separate.process(signal.data(), signal.data(), expectSeparate.data(), kLength);
  EXPECT_LT(decibelsFromModel(out1, expectShared), -75.0);
  EXPECT_GT(decibelsFromModel(out1, expectSeparate), -20.0);
  EXPECT_TRUE(identicalSamples(out1, out2));
}

// Exactly 0.0 makes input 1 the speech; every other value swaps the roles.
TEST(BufferRoles, SwitchAtAnyValueButZeroSwapsTheInputs) {
  const std::vector<float> speech = speechSignal(), carrier = carrierSignal();
  ChannelVocoder straight;
  const Rendering expected = renderInBlocks(straight, speech, carrier, kBlocks);
  for (float value : {1.0f, 0.5f, 1e-30f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    ChannelVocoder swapped;
    swapped.setParameter(kSwitchCS, value);
    const Rendering r = renderInBlocks(swapped, carrier, speech, kBlocks);
    EXPECT_TRUE(identicalSamples(expected.out1, r.out1)) << "switch " << value;
    EXPECT_TRUE(identicalSamples(expected.in1, r.in2)) << "switch " << value;
  }
  // And the roles matter: the same inputs with the switch turned give another sound.
  ChannelVocoder turned;
  turned.setParameter(kSwitchCS, 1.0f);
  const Rendering other = renderInBlocks(turned, speech, carrier, kBlocks);
  EXPECT_GT(rmsDifference(other.out1, expected.out1), 0.5 * rmsOf(expected.out1));
}

// Exactly 1.0 gates the output; every other value copies the band sum unchanged and leaves the
// gate where it was.
TEST(BufferRoles, MulchAtAnyValueButOneBypassesAndFreezesTheGate) {
  const std::vector<float> speech = speechSignal(), carrier = carrierSignal();
  ChannelVocoder reference;
  reference.setParameter(kMulchIO, 0.0f);
  const Rendering bypassed = renderInBlocks(reference, speech, carrier, kBlocks);
  for (float value : {0.999f, 1.0001f, -1.0f, 0.5f, std::numeric_limits<float>::quiet_NaN()}) {
    ChannelVocoder vocoder;
    vocoder.setParameter(kMulchIO, value);
    const Rendering r = renderInBlocks(vocoder, speech, carrier, kBlocks);
    EXPECT_TRUE(identicalSamples(bypassed.out1, r.out1)) << "mulch " << value;
    EXPECT_TRUE(vocoder.gate().isOn());
    EXPECT_EQ(22050, vocoder.gate().countdown()) << "mulch " << value;
    EXPECT_EQ(0.0f, vocoder.gate().smootherState()) << "mulch " << value;
  }
  ChannelVocoder gated;
  const Rendering r = renderInBlocks(gated, speech, carrier, kBlocks);
  EXPECT_EQ(22050 - kLength, gated.gate().countdown());
  EXPECT_FALSE(identicalSamples(bypassed.out1, r.out1));
}

// Gain 0 silences the output, yet every band and the gate run on as they would have, so that
// turning the gain up again continues exactly where a never-silenced twin is.
TEST(OutputGain, ZeroGainGivesSilenceWhileTheStateRuns) {
  const std::vector<float> speech = speechSignal(), carrier = carrierSignal();
  ChannelVocoder silent, twin;
  silent.setParameter(kGain, 0.0f);
  const Rendering quiet = renderInBlocks(silent, speech, carrier, kBlocks);
  const Rendering loud = renderInBlocks(twin, speech, carrier, kBlocks);
  for (int k = 0; k < kLength; ++k) ASSERT_EQ(0.0f, quiet.out1[k]) << "sample " << k;
  EXPECT_GT(rmsOf(loud.out1), 1e-3);
  EXPECT_TRUE(sameState(silent, twin));

  silent.setParameter(kGain, 0.3f);
  const Rendering after = renderInBlocks(silent, carrier, speech, kBlocks);
  const Rendering twinAfter = renderInBlocks(twin, carrier, speech, kBlocks);
  EXPECT_TRUE(identicalSamples(twinAfter.out1, after.out1));
}

// Bands 2 to 8 read the inputs scaled by parameters 0 and 1, so their share of the output
// scales with the product of the two; band 1 reads the inputs unscaled and sounds on at full
// level with both at 0. Halving a gain halves the scaled samples exactly, so the shares must
// add up to within rounding.
TEST(InputGains, BandsTwoToEightScaleWithTheProductOfTheInputGainsAndBandOneWithNeither) {
  const std::vector<float> speech = speechSignal(), carrier = carrierSignal();
  auto render = [&](float carrierGain, float speechGain) {
    ChannelVocoder vocoder;
    vocoder.setParameter(kMulchIO, 0.0f);
    vocoder.setParameter(kCarrier, carrierGain);
    vocoder.setParameter(kSpeech, speechGain);
    return renderInBlocks(vocoder, speech, carrier, kBlocks);
  };
  const Rendering bandOne = render(0.0f, 0.0f);
  const Rendering full = render(1.0f, 1.0f);
  for (int k = 0; k < kLength; ++k) {
    ASSERT_EQ(0.0f, bandOne.in1[k]);
    ASSERT_EQ(0.0f, bandOne.in2[k]);
  }
  std::vector<float> upperBands(kLength);
  for (int k = 0; k < kLength; ++k) upperBands[k] = full.out1[k] - bandOne.out1[k];
  const double bandOneLevel = rmsOf(bandOne.out1), upperLevel = rmsOf(upperBands);
  EXPECT_GT(bandOneLevel, 1e-4) << "band 1 must sound with both input gains at 0";
  EXPECT_GT(upperLevel, 1e-3);

  const struct {
    float carrierGain, speechGain;
    double share;
  } cases[] = {{0.5f, 1.0f, 0.5}, {1.0f, 0.5f, 0.5}, {0.5f, 0.5f, 0.25}, {0.25f, 0.5f, 0.125}};
  for (const auto& c : cases) {
    const Rendering r = render(c.carrierGain, c.speechGain);
    std::vector<float> share(kLength);
    for (int k = 0; k < kLength; ++k) share[k] = r.out1[k] - bandOne.out1[k];
    EXPECT_LT(rmsDifference(share, upperBands, c.share), 1e-5 * upperLevel)
        << "gains " << c.carrierGain << " and " << c.speechGain;
  }
}

// The accumulating entry does no vocoding: it copies each input to its output, replacing what
// was there, whatever the parameters, and touches no state.
TEST(PlainCopy, ProcessCopiesEachInputToItsOutput) {
  Vocoder vocoder(nullptr);
  ChannelVocoder untouched;
  vocoder.setParameter(kSwitchCS, 1.0f);
  untouched.setParameter(kSwitchCS, 1.0f);
  const std::vector<float> a = speechSignal(), b = carrierSignal();
  std::vector<float> in1 = a, in2 = b, out1(kLength, 7.0f), out2(kLength, -7.0f);
  float* inputs[2] = {in1.data(), in2.data()};
  float* outputs[2] = {out1.data(), out2.data()};
  for (int call = 0; call < 2; ++call) {
    vocoder.process(inputs, outputs, kLength);
    EXPECT_TRUE(identicalSamples(a, out1)) << "call " << call;
    EXPECT_TRUE(identicalSamples(b, out2)) << "call " << call;
    EXPECT_TRUE(identicalSamples(a, in1));
    EXPECT_TRUE(identicalSamples(b, in2));
  }
  EXPECT_TRUE(sameState(untouched, vocoder.engine()));

  float* inPlace[2] = {in1.data(), in2.data()};
  vocoder.process(inPlace, inPlace, kLength);
  EXPECT_TRUE(identicalSamples(a, in1));
  EXPECT_TRUE(identicalSamples(b, in2));
}

}  // namespace
