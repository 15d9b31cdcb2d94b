// The render loop with the driver of an effect record, the DLL route's: it drives the effect
// object exactly as one long processing call would, at any block size; it hands every block
// fresh inputs, maps channels for effects with one input or output, clears the outputs of
// accumulating effects, and stops cleanly on a failure.

#include "tools/mvrender/render_loop.h"

#include "tools/mvrender/aeffect_processor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "vst/vocoder.h"

namespace {

// A voice-like test signal: noise under a syllable-rate envelope; and a plain ramp carrier.
std::vector<float> speechSignal(size_t frames) {
  std::vector<float> s(frames);
  uint32_t state = 12345;
  for (size_t i = 0; i < frames; ++i) {
    state = state * 1664525u + 1013904223u;
    const float noise = static_cast<float>(static_cast<int32_t>(state)) / 2147483648.0f;
    s[i] = 0.6f * noise * static_cast<float>(0.5 + 0.5 * std::sin(i * 2.0 * M_PI * 4.0 / 44100.0));
  }
  return s;
}

std::vector<float> carrierSignal(size_t frames) {
  std::vector<float> c(frames);
  for (size_t i = 0; i < frames; ++i) c[i] = 0.5f * static_cast<float>(std::fmod(i * 110.0 / 44100.0, 1.0) * 2.0 - 1.0);
  return c;
}

class VectorSource : public RenderSource {
 public:
  VectorSource(std::vector<float> speech, std::vector<float> carrier)
      : speech_(std::move(speech)), carrier_(std::move(carrier)) {}
  int64_t frames() const override { return static_cast<int64_t>(std::max(speech_.size(), carrier_.size())); }
  bool read(float* speech, float* carrier, int32_t frames, std::string& error) override {
    if (failAt_ >= 0 && position_ >= static_cast<size_t>(failAt_)) {
      error = "source failed";
      return false;
    }
    for (int32_t i = 0; i < frames; ++i, ++position_) {
      speech[i] = position_ < speech_.size() ? speech_[position_] : 0.0f;
      carrier[i] = position_ < carrier_.size() ? carrier_[position_] : 0.0f;
    }
    return true;
  }
  int64_t failAt_ = -1;

 private:
  std::vector<float> speech_, carrier_;
  size_t position_ = 0;
};

class VectorSink : public RenderSink {
 public:
  explicit VectorSink(int channels) : channels(static_cast<size_t>(channels)) {}
  bool write(const float* const* out, int32_t frames, std::string& error) override {
    if (failAfter >= 0 && static_cast<int64_t>(channels[0].size()) >= failAfter) {
      error = "disk full";
      return false;
    }
    for (size_t c = 0; c < channels.size(); ++c) channels[c].insert(channels[c].end(), out[c], out[c] + frames);
    return true;
  }
  std::vector<std::vector<float>> channels;
  int64_t failAfter = -1;
};

class Progress : public RenderProgress {
 public:
  void progress(int64_t done, int64_t total) override {
    EXPECT_GT(done, last);
    last = done;
    lastTotal = total;
    ++calls;
  }
  int64_t last = 0, lastTotal = 0;
  int calls = 0;
};

// Renders through the effect record at `blockSize`, the effect set to `outputs` channels.
bool renderEffect(AEffect* effect, RenderSource& source, RenderSink& sink, int32_t blockSize,
                  RenderProgress* progress, RenderSummary& summary, std::string& error,
                  float sampleRate = 44100.0f, int32_t outputs = 2) {
  AEffectProcessor processor(effect, blockSize, sampleRate, outputs);
  return processor.start(error) &&
         renderSignal(source, processor, sink, blockSize, progress, summary, error);
}

std::vector<std::vector<float>> renderVocoder(int32_t blockSize, const std::vector<float>& speech,
                                              const std::vector<float>& carrier, bool gated) {
  Vocoder vocoder(nullptr);
  vocoder.setParameter(kMulchIO, gated ? 1.0f : 0.0f);
  VectorSource source(speech, carrier);
  VectorSink sink(2);
  RenderSummary summary;
  std::string error;
  EXPECT_TRUE(renderEffect(vocoder.getAeffect(), source, sink, blockSize, nullptr, summary, error))
      << error;
  return sink.channels;
}

TEST(RenderLoop, EveryBlockSizeGivesTheSamplesOfOneLongProcessingCall) {
  const size_t frames = 66150;  // 1.5 s
  const std::vector<float> speech = speechSignal(frames), carrier = carrierSignal(frames);
  for (bool gated : {true, false}) {
    // The engine's own answer: the whole signal in one processReplacing call.
    Vocoder reference(nullptr);
    reference.setParameter(kMulchIO, gated ? 1.0f : 0.0f);
    std::vector<float> in1 = speech, in2 = carrier, out1(frames), out2(frames);
    float* inputs[2] = {in1.data(), in2.data()};
    float* outputs[2] = {out1.data(), out2.data()};
    reference.processReplacing(inputs, outputs, static_cast<int32_t>(frames));

    for (int32_t block : {512, 4096, 1, 7, 3000, 3001, 100000}) {
      const auto rendered = renderVocoder(block, speech, carrier, gated);
      ASSERT_EQ(frames, rendered[0].size());
      ASSERT_EQ(0, std::memcmp(out1.data(), rendered[0].data(), frames * sizeof(float)))
          << "block size " << block << (gated ? " gated" : " ungated");
      ASSERT_EQ(0, std::memcmp(out2.data(), rendered[1].data(), frames * sizeof(float)))
          << "block size " << block;
    }
  }
}

// A stand-in effect that records what the host does and copies inputs to outputs.
struct FakeEffect {
  AEffect effect{};
  std::vector<int32_t> opcodes;
  float sampleRate = 0.0f;
  int32_t blockSize = 0;
  bool accumulate = false;

  static FakeEffect* of(AEffect* e) { return static_cast<FakeEffect*>(e->object); }
  static intptr_t VSTCALL dispatch(AEffect* e, int32_t opcode, int32_t, intptr_t value, void*, float opt) {
    FakeEffect* self = of(e);
    self->opcodes.push_back(opcode);
    if (opcode == effSetSampleRate) self->sampleRate = opt;
    if (opcode == effSetBlockSize) self->blockSize = value;
    return 0;
  }
  // Copies (or adds) each input to its output, then spoils the input as Mulchvoice does.
  static void VSTCALL run(AEffect* e, float** in, float** out, int32_t frames) {
    FakeEffect* self = of(e);
    const int32_t channels = std::min(e->numInputs, e->numOutputs);
    for (int32_t c = 0; c < channels; ++c) {
      for (int32_t i = 0; i < frames; ++i) {
        out[c][i] = self->accumulate ? out[c][i] + in[c][i] : in[c][i];
        in[c][i] = 99.0f;
      }
    }
  }
  FakeEffect(int32_t inputs, int32_t outputs, bool replacing) {
    effect.magic = kEffectMagic;
    effect.dispatcher = dispatch;
    effect.numInputs = inputs;
    effect.numOutputs = outputs;
    effect.object = this;
    if (replacing) {
      effect.flags = effFlagsCanReplacing;
      effect.processReplacing = run;
    } else {
      effect.process = run;
      accumulate = true;
    }
  }
};

TEST(RenderLoop, FreshInputsEveryBlockAndTheHostCallsInOrder) {
  FakeEffect fake(2, 2, true);
  VectorSource source(speechSignal(10000), carrierSignal(7000));
  VectorSink sink(2);
  Progress progress;
  RenderSummary summary;
  std::string error;
  ASSERT_TRUE(renderEffect(&fake.effect, source, sink, 3000, &progress, summary, error, 48000.0f))
      << error;
  std::vector<float> carrier = carrierSignal(7000);
  carrier.resize(10000, 0.0f);  // the shorter input is padded with silence
  EXPECT_EQ(speechSignal(10000), sink.channels[0]) << "the first input is the speech";
  EXPECT_EQ(carrier, sink.channels[1]) << "the second input is the carrier";
  EXPECT_EQ((std::vector<int32_t>{effSetSampleRate, effSetBlockSize, effMainsChanged, effMainsChanged}), fake.opcodes);
  EXPECT_EQ(48000.0f, fake.sampleRate);
  EXPECT_EQ(3000, fake.blockSize);
  EXPECT_EQ(2, progress.calls) << "one call per chunk of two blocks";
  EXPECT_EQ(10000, progress.last);
  EXPECT_EQ(10000, summary.frames);
  float peak = 0.0f;
  for (const auto& channel : sink.channels)
    for (float v : channel) peak = std::max(peak, std::fabs(v));
  EXPECT_EQ(peak, summary.peak);
}

TEST(RenderLoop, OneChannelAndAccumulatingEffects) {
  FakeEffect mono(1, 1, true);
  VectorSource source(speechSignal(5000), carrierSignal(5000));
  VectorSink sink(1);
  EXPECT_EQ(1, outputChannelsFor(&mono.effect, false));
  RenderSummary summary;
  std::string error;
  ASSERT_TRUE(renderEffect(&mono.effect, source, sink, 512, nullptr, summary, error, 44100.0f, 1))
      << error;
  EXPECT_EQ(speechSignal(5000), sink.channels[0]);

  // Without replacing processing the effect adds to its outputs: they start each block silent.
  FakeEffect adding(2, 2, false);
  VectorSource source2(speechSignal(5000), carrierSignal(5000));
  VectorSink sink2(2);
  ASSERT_TRUE(renderEffect(&adding.effect, source2, sink2, 512, nullptr, summary, error)) << error;
  EXPECT_EQ(speechSignal(5000), sink2.channels[0]);
  EXPECT_EQ(carrierSignal(5000), sink2.channels[1]);
}

TEST(RenderLoop, FailuresStopTheRenderAndSuspendTheEffect) {
  FakeEffect fake(2, 2, true);
  RenderSummary summary;
  std::string error;
  VectorSource source(speechSignal(20000), carrierSignal(20000));
  VectorSink full(2);
  full.failAfter = 1024;
  EXPECT_FALSE(renderEffect(&fake.effect, source, full, 512, nullptr, summary, error));
  EXPECT_EQ("disk full", error);
  EXPECT_EQ(effMainsChanged, fake.opcodes.back());

  VectorSource broken(speechSignal(20000), carrierSignal(20000));
  broken.failAt_ = 512;
  VectorSink sink(2);
  EXPECT_FALSE(renderEffect(&fake.effect, broken, sink, 512, nullptr, summary, error));
  EXPECT_EQ("source failed", error);

  // The user's Ctrl-C: the chunk under way is finished and written, then the loop stops.
  class Stopper : public RenderProgress {
   public:
    void progress(int64_t, int64_t) override {}
    bool cancelled() override { return true; }
  } stopper;
  VectorSource long_(speechSignal(20000), carrierSignal(20000));
  VectorSink partial(2);
  EXPECT_FALSE(renderEffect(&fake.effect, long_, partial, 512, &stopper, summary, error));
  EXPECT_EQ("interrupted", error);
  EXPECT_EQ(static_cast<size_t>(chunkFrames(512)), partial.channels[0].size());

  FakeEffect silent(2, 0, true);
  EXPECT_FALSE(renderEffect(&silent.effect, source, sink, 512, nullptr, summary, error));
  EXPECT_NE(std::string::npos, error.find("no outputs")) << error;
  FakeEffect absurd(-3, 2, true);
  EXPECT_FALSE(checkEffectChannels(&absurd.effect, error));
}

}  // namespace
