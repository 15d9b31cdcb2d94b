// The vocoder's eight parameters and two programs as the host and the editor see them: defaults,
// what each store reaches, the filter clamp, program switching and names, and the values
// derived from parameters (envelope coefficients, gate half-period).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/parameters.h"
#include "vst/vocoder.h"
#include "tests/native/recording_editor.h"
#include "tests/native/vocoder_probe.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

const std::vector<float> kDefaults = {1.0f, 1.0f, 0.4f, 1.0f, 0.1f, 0.3f, 0.0f, 1.0f};

std::vector<float> currentValues(Vocoder& v) {
  std::vector<float> values;
  for (int32_t i = 0; i < kNumParams; ++i) values.push_back(v.getParameter(i));
  return values;
}

// The core as the next block finds it: tuned for the current settings.
const ChannelVocoder& tuned(Vocoder& v) {
  v.engine().retune();
  return v.engine();
}

std::string programName(Vocoder& v) {
  char name[kProgramNameSize + 8];
  std::memset(name, 'x', sizeof name);
  v.getProgramName(name);
  return std::string(name);
}

TEST(VocoderConstruction, StartsWithTheDefaultsInBothPrograms) {
  ProbeVocoder v;
  EXPECT_EQ(currentValues(v), kDefaults);
  EXPECT_EQ(programName(v), "Smooth Mulch");
  EXPECT_EQ(v.getProgram(), 0);

  EXPECT_EQ(v.loadProgram(1), kDefaults);
  EXPECT_EQ(v.getProgram(), 1);
  EXPECT_EQ(currentValues(v), kDefaults);
  EXPECT_EQ(programName(v), "Smooth Mulch");
  EXPECT_EQ(v.loadProgram(0), kDefaults);
}

TEST(VocoderConstruction, DerivedValuesAndStatesStartAsDescribed) {
  Vocoder v(nullptr);
  EXPECT_EQ(tuned(v).gate().halfPeriod(), 3959);
  EXPECT_EQ(v.engine().gate().countdown(), 22050);
  EXPECT_TRUE(v.engine().gate().isOn());
  EXPECT_EQ(v.engine().gate().smootherState(), 0.0f);
  for (const BandValues& band : allBands(tuned(v))) {
    EXPECT_TRUE(band.stateIsZero());
    EXPECT_GT(band.a0, 0.0f) << "every band is tuned before the first block";
  }
}

TEST(VocoderConstruction, RecordDescribesATwoByTwoReplacingEffectWithoutEditor) {
  Vocoder v(nullptr);
  const AEffect* e = v.getAeffect();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numPrograms, 2);
  EXPECT_EQ(e->numParams, 8);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->uniqueID, 0x4D76517A);
  EXPECT_EQ(e->flags, effFlagsCanReplacing);
  EXPECT_EQ(e->object, &v);
}

TEST(SetProgram, LoadsEveryValueThroughSetParameterInIndexOrder) {
  ProbeVocoder v;
  v.setProgram(1);
  ASSERT_EQ(v.received.size(), 8u);
  for (int32_t i = 0; i < kNumParams; ++i) EXPECT_EQ(v.received[static_cast<size_t>(i)].first, i);
}

TEST(SetParameter, FilterIsClampedInTheCurrentValueOnly) {
  struct Case {
    float value;
    float current;
  };
  for (Case c : {Case{1.5f, 1.0f}, Case{-0.25f, 0.0f}, Case{kNaN, 0.0f}, Case{kInf, 1.0f},
                 Case{-kInf, 0.0f}, Case{0.7f, 0.7f}}) {
    ProbeVocoder v;
    v.setParameter(kFilter, c.value);
    EXPECT_EQ(v.getParameter(kFilter), c.current) << "setParameter(2, " << c.value << ")";

    Vocoder reference(nullptr);
    reference.setParameter(kFilter, c.current);
    const std::vector<BandValues> bands = allBands(tuned(v)), expected = allBands(tuned(reference));
    for (size_t b = 0; b < bands.size(); ++b)
      EXPECT_TRUE(bands[b].sameCoefficients(expected[b]))
          << "band " << b + 1 << " for filter " << c.value << " must be tuned as " << c.current;

    // The program keeps the value as given; loading it clamps the current value again.
    const std::vector<float> stored = v.loadProgram(0);
    EXPECT_TRUE(sameBits(stored[kFilter], c.value)) << "program holds " << stored[kFilter];
    EXPECT_EQ(v.getParameter(kFilter), c.current);
  }
}

TEST(SetParameter, OtherValuesAreStoredAsGiven) {
  for (int32_t index : {kCarrier, kSpeech, kMorph, kFreq, kGain, kSwitchCS, kMulchIO}) {
    for (float value : {5.0f, -3.0f, 0.5f, kNaN, kInf, -kInf, 1e30f}) {
      ProbeVocoder v;
      v.setParameter(index, value);
      EXPECT_TRUE(sameBits(v.getParameter(index), value))
          << "parameter " << index << " set to " << value << " reads " << v.getParameter(index);
      EXPECT_TRUE(sameBits(v.loadProgram(0)[static_cast<size_t>(index)], value));
      EXPECT_GE(tuned(v).gate().halfPeriod(), 1);
    }
  }
}

TEST(SetParameter, IndicesOutsideTheTableChangeNothingButStillRefreshTheEditor) {
  for (int32_t index : {8, -1, 9, 100, kIntMin, kIntMax}) {
    ProbeVocoder v;
    auto* editor = new RecordingEditor(&v);
    v.setEditor(editor);
    const std::vector<BandValues> bandsBefore = allBands(tuned(v));

    v.setParameter(index, 0.5f);
    EXPECT_EQ(editor->postUpdates, 1) << "index " << index;
    EXPECT_EQ(currentValues(v), kDefaults) << "index " << index;
    const std::vector<BandValues> bandsAfter = allBands(tuned(v));
    for (size_t b = 0; b < bandsAfter.size(); ++b)
      EXPECT_TRUE(bandsAfter[b].sameCoefficients(bandsBefore[b]));
    EXPECT_EQ(v.getParameter(index), 0.0f);
    EXPECT_EQ(v.loadProgram(0), kDefaults);
    EXPECT_EQ(v.loadProgram(1), kDefaults);
  }
}

TEST(SetParameter, EveryStoreAsksTheEditorToRefreshOnce) {
  Vocoder v(nullptr);
  auto* editor = new RecordingEditor(&v);
  v.setEditor(editor);
  for (int32_t i = 0; i < kNumParams; ++i) {
    v.setParameter(i, 0.5f);
    EXPECT_EQ(editor->postUpdates, i + 1) << "parameter " << i;
  }
  editor->postUpdates = 0;
  v.setProgram(1);
  EXPECT_EQ(editor->postUpdates, 8) << "a program load refreshes once per parameter";
  EXPECT_EQ(editor->totalCalls(), 0) << "the refresh is deferred: nothing is drawn here";
}

TEST(Programs, EachProgramKeepsItsOwnValues) {
  ProbeVocoder v;
  const std::vector<float> programOne = {0.11f, 0.22f, 0.33f, 0.44f, 0.55f, 0.66f, 0.77f, 0.88f};
  v.setProgram(1);
  for (int32_t i = 0; i < kNumParams; ++i) v.setParameter(i, programOne[static_cast<size_t>(i)]);

  EXPECT_EQ(v.loadProgram(0), kDefaults) << "changes while program 1 is current stay there";
  EXPECT_EQ(currentValues(v), kDefaults);
  EXPECT_EQ(tuned(v).gate().halfPeriod(), 3959);

  EXPECT_EQ(v.loadProgram(1), programOne);
  EXPECT_EQ(currentValues(v), programOne);
  EXPECT_NE(tuned(v).gate().halfPeriod(), 3959) << "derived values follow the loaded program";

  v.setParameter(kGain, 0.9f);
  EXPECT_EQ(v.loadProgram(0), kDefaults);
  std::vector<float> changed = programOne;
  changed[kGain] = 0.9f;
  EXPECT_EQ(v.loadProgram(1), changed);
}

TEST(Programs, NumbersOutsideTheTableAreIgnored) {
  ProbeVocoder v;
  v.setProgram(1);
  v.setParameter(kGain, 0.9f);
  auto* editor = new RecordingEditor(&v);
  v.setEditor(editor);
  const std::vector<float> before = currentValues(v);
  v.received.clear();

  for (int32_t program : {-1, 2, 3, kIntMin, kIntMax}) {
    v.setProgram(program);
    EXPECT_EQ(v.getProgram(), 1) << "program " << program;
    EXPECT_TRUE(v.received.empty()) << "program " << program;
  }
  AEffect* e = v.getAeffect();
  for (int32_t program : {-1, 2, kIntMin}) {
    EXPECT_EQ(e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.0f), 0);
    EXPECT_EQ(e->dispatcher(e, effGetProgram, 0, 0, nullptr, 0.0f), 1) << "program " << program;
  }
  EXPECT_TRUE(v.received.empty());
  EXPECT_EQ(editor->postUpdates, 0);
  EXPECT_EQ(currentValues(v), before);
}

TEST(Programs, LoadingAProgramLeavesBandAndGateStatesAlone) {
  ProbeVocoder v;
  v.setProgram(1);
  v.setParameter(kFilter, 0.9f);
  v.setParameter(kMorph, 0.2f);
  v.setParameter(kFreq, 1.0f);
  v.setProgram(0);
  runNoise(v.engine(), 1000);

  const std::vector<BandValues> before = allBands(tuned(v));
  const int32_t countdown = v.engine().gate().countdown();
  const bool on = v.engine().gate().isOn();
  const float gateZ = v.engine().gate().smootherState();
  ASSERT_EQ(countdown, 22050 - 1000);
  ASSERT_NE(gateZ, 0.0f);
  for (const BandValues& band : before) ASSERT_FALSE(band.stateIsZero());

  for (int32_t program : {1, 0, 1}) {
    v.setProgram(program);
    const std::vector<BandValues> after = allBands(tuned(v));
    for (size_t b = 0; b < after.size(); ++b)
      EXPECT_TRUE(after[b].sameState(before[b])) << "band " << b + 1 << ", program " << program;
    EXPECT_EQ(v.engine().gate().countdown(), countdown) << "the phase in progress keeps its count";
    EXPECT_EQ(v.engine().gate().isOn(), on);
    EXPECT_TRUE(sameBits(v.engine().gate().smootherState(), gateZ));
  }
  EXPECT_EQ(tuned(v).gate().halfPeriod(), 4) << "program 1's freq of 1.0 sets the next phases";
}

TEST(ProgramNames, RenameOnlyTheCurrentProgram) {
  Vocoder v(nullptr);
  char name[] = "Bright Mulch";
  v.setProgramName(name);
  EXPECT_EQ(programName(v), "Bright Mulch");
  v.setProgram(1);
  EXPECT_EQ(programName(v), "Smooth Mulch");
  char other[] = "";
  v.setProgramName(other);
  EXPECT_EQ(programName(v), "");
  v.setProgram(0);
  EXPECT_EQ(programName(v), "Bright Mulch");
}

TEST(ProgramNames, LongNamesAreCutTo23Characters) {
  Vocoder v(nullptr);
  char longName[] = "0123456789012345678901234567890123456789";  // 40 characters
  v.setProgramName(longName);
  EXPECT_STREQ(longName, "0123456789012345678901234567890123456789") << "the input is read only";

  char buffer[kProgramNameSize + 16];
  std::memset(buffer, 'G', sizeof buffer);
  v.getProgramName(buffer);
  EXPECT_EQ(std::string(buffer), "01234567890123456789012");
  for (size_t i = kProgramNameSize; i < sizeof buffer; ++i)
    EXPECT_EQ(buffer[i], 'G') << "getProgramName wrote past 24 bytes at " << i;

  char exactly23[] = "abcdefghijklmnopqrstuvw";
  v.setProgramName(exactly23);
  EXPECT_EQ(programName(v), "abcdefghijklmnopqrstuvw");
  v.setProgram(1);
  EXPECT_EQ(programName(v), "Smooth Mulch");
}

TEST(ProgramNames, HostRenamesThroughTheDispatcher) {
  Vocoder v(nullptr);
  AEffect* e = v.getAeffect();
  char name[] = "Host Name";
  e->dispatcher(e, effSetProgramName, 0, 0, name, 0.0f);
  char out[kProgramNameSize] = {};
  e->dispatcher(e, effGetProgramName, 0, 0, out, 0.0f);
  EXPECT_STREQ(out, "Host Name");
  e->dispatcher(e, effSetProgramName, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effGetProgramName, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(programName(v), "Host Name");
}

TEST(ParameterTexts, HostIsGivenNoNamesLabelsOrDisplays) {
  Vocoder v(nullptr);
  AEffect* e = v.getAeffect();
  for (int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
    for (int32_t index = -1; index <= kNumParams; ++index) {
      char text[16] = "untouched";
      e->dispatcher(e, opcode, index, 0, text, 0.0f);
      EXPECT_STREQ(text, "") << "opcode " << opcode << ", index " << index;
    }
  }
}

TEST(GateHalfPeriod, FollowsTheChopperRate) {
  const struct {
    float freq;
    int32_t samples;
  } cases[] = {{0.0f, 44100}, {0.1f, 3959}, {0.5f, 136}, {1.0f, 4}};
  for (const auto& c : cases) {
    Vocoder v(nullptr);
    v.setParameter(kFreq, c.freq);
    EXPECT_EQ(tuned(v).gate().halfPeriod(), c.samples) << "freq " << c.freq;
  }
}

TEST(GateHalfPeriod, StaysPositiveForAnyValue) {
  Vocoder v(nullptr);
  for (float freq : {kNaN, kInf, -kInf, 1e30f, -1e30f, -5.0f, 5.0f, -0.0f,
                     std::numeric_limits<float>::denorm_min(), 1.0000001f, -1e-7f}) {
    v.setParameter(kFreq, freq);
    EXPECT_GE(tuned(v).gate().halfPeriod(), 1) << "freq " << freq;
  }
  int32_t previous = 44101;
  for (int step = 0; step <= 1000; ++step) {
    v.setParameter(kFreq, static_cast<float>(step) / 1000.0f);
    ASSERT_LE(tuned(v).gate().halfPeriod(), previous) << "a faster rate never lengthens a phase";
    previous = tuned(v).gate().halfPeriod();
  }
}

TEST(GateHalfPeriod, ChangingTheRateLeavesThePhaseInProgress) {
  Vocoder v(nullptr);
  runNoise(v.engine(), 500);
  const float gateZ = v.engine().gate().smootherState();
  v.setParameter(kFreq, 1.0f);
  EXPECT_EQ(tuned(v).gate().halfPeriod(), 4);
  EXPECT_EQ(v.engine().gate().countdown(), 22050 - 500);
  EXPECT_TRUE(v.engine().gate().isOn());
  EXPECT_TRUE(sameBits(v.engine().gate().smootherState(), gateZ));
}

TEST(EnvelopeSmoothing, CoefficientsFollowMorph) {
  Vocoder v(nullptr);  // morph 1.0
  EXPECT_NEAR(tuned(v).envelope().envIn0, 0.0022635, 5e-8);
  EXPECT_EQ(tuned(v).envelope().envIn1, tuned(v).envelope().envIn0);
  EXPECT_NEAR(tuned(v).envelope().envFb, -0.996379, 1e-6);  // -0.9963785: a pole at about 0.99638
  EXPECT_EQ(tuned(v).envelope().envFb,
            static_cast<float>((0.800000011920929 - 441.0) / (0.800000011920929 + 441.0)));
  // Gain at DC: (in0 + in1) / (1 + fb) = 1.25.
  EXPECT_NEAR((tuned(v).envelope().envIn0 + tuned(v).envelope().envIn1) / (1.0 + tuned(v).envelope().envFb), 1.25,
              1e-3);

  v.setParameter(kMorph, 0.0f);
  EXPECT_EQ(tuned(v).envelope().envIn0, 1.25f);
  EXPECT_EQ(tuned(v).envelope().envIn1, 1.25f);
  EXPECT_EQ(tuned(v).envelope().envFb, 1.0f);

  v.setParameter(kMorph, 0.5f);
  EXPECT_NEAR(tuned(v).envelope().envIn0, 1.0 / (0.800000011920929 + 220.5), 1e-9);
  EXPECT_NEAR(tuned(v).envelope().envFb, (0.800000011920929 - 220.5) / (0.800000011920929 + 220.5),
              1e-7);
}

}  // namespace
