// The effect base as the host drives it: the record's C entries, the opcode table, the flag
// setters and the two wrappers around the host callback.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/aeffect.h"
#include "host/audio_effect.h"
#include "tests/native/recording_editor.h"

namespace {

// Everything an effect was asked to do, in order. Kept outside the effect so that it survives
// the effect's destruction.
struct CallLog {
  std::vector<std::string> calls;
  bool destroyed = false;

  bool saw(const std::string& call) const {
    for (const std::string& c : calls)
      if (c == call) return true;
    return false;
  }
};

class RecordingEffect : public AudioEffect {
 public:
  static constexpr int32_t kPrograms = 3;
  static constexpr int32_t kParams = 4;

  explicit RecordingEffect(CallLog& log, audioMasterCallback audioMaster = nullptr)
      : AudioEffect(audioMaster, kPrograms, kParams), log(log) {}
  ~RecordingEffect() override { log.destroyed = true; }

  void setParameter(int32_t index, float value) override {
    log.calls.push_back("setParameter " + std::to_string(index) + " " + std::to_string(value));
  }
  float getParameter(int32_t index) override {
    log.calls.push_back("getParameter " + std::to_string(index));
    return 0.125f * static_cast<float>(index);
  }
  void process(float** inputs, float** outputs, int32_t sampleFrames) override {
    log.calls.push_back("process " + std::to_string(sampleFrames));
    processInputs = inputs;
    processOutputs = outputs;
  }
  void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override {
    log.calls.push_back("processReplacing " + std::to_string(sampleFrames));
    processInputs = inputs;
    processOutputs = outputs;
  }
  void open() override { log.calls.push_back("open"); }
  void close() override { log.calls.push_back("close"); }
  void setProgram(int32_t program) override {
    log.calls.push_back("setProgram " + std::to_string(program));
    AudioEffect::setProgram(program);
  }
  void setProgramName(char* name) override { log.calls.push_back(std::string("setProgramName ") + name); }
  void getProgramName(char* name) override {
    log.calls.push_back("getProgramName");
    std::strcpy(name, "prog");
  }
  void getParameterLabel(int32_t index, char* label) override {
    log.calls.push_back("getParameterLabel " + std::to_string(index));
    std::strcpy(label, "dB");
  }
  void getParameterDisplay(int32_t index, char* text) override {
    log.calls.push_back("getParameterDisplay " + std::to_string(index));
    std::strcpy(text, "0.5");
  }
  void getParameterName(int32_t index, char* text) override {
    log.calls.push_back("getParameterName " + std::to_string(index));
    std::strcpy(text, "name");
  }
  float getVu() override { return vu; }
  void suspend() override { log.calls.push_back("suspend"); }
  void resume() override { log.calls.push_back("resume"); }

  CallLog& log;
  float vu = 0.0f;
  float** processInputs = nullptr;
  float** processOutputs = nullptr;
};

// An effect that keeps every base default.
class PlainEffect : public AudioEffect {
 public:
  explicit PlainEffect(audioMasterCallback audioMaster = nullptr)
      : AudioEffect(audioMaster, 1, 1) {}
  void process(float**, float**, int32_t) override {}
};

// A host callback that records what it is asked and answers a chosen number.
struct HostCall {
  AEffect* effect;
  int32_t opcode;
  int32_t index;
  intptr_t value;
  void* ptr;
  float opt;
  size_t effectCallsBefore;  // effect calls logged when the host was called
};

struct FakeHost {
  std::vector<HostCall> calls;
  int32_t answer = 0;
  const CallLog* effectLog = nullptr;
};
FakeHost* fakeHost = nullptr;

intptr_t VSTCALL recordingHost(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                               void* ptr, float opt) {
  size_t before = fakeHost->effectLog != nullptr ? fakeHost->effectLog->calls.size() : 0;
  fakeHost->calls.push_back({effect, opcode, index, value, ptr, opt, before});
  return fakeHost->answer;
}

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.effectLog = &log;
    fakeHost = &host;
    effect = new RecordingEffect(log, recordingHost);
    record = effect->getAeffect();
  }
  void TearDown() override {
    if (!log.destroyed) delete effect;
    fakeHost = nullptr;
  }
  // Calls the record's dispatcher the way a host does.
  int32_t dispatch(int32_t opCode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return record->dispatcher(record, opCode, index, value, ptr, opt);
  }
  RecordingEditor* attachEditor() {
    auto* editor = new RecordingEditor(effect, &editorDestroyed);
    effect->setEditor(editor);
    return editor;
  }

  CallLog log;
  FakeHost host;
  RecordingEffect* effect = nullptr;
  AEffect* record = nullptr;
  bool editorDestroyed = false;
};

TEST(EffectRecord, FreshEffectShowsTheBaseDefaults) {
  PlainEffect effect;
  const AEffect& e = *effect.getAeffect();
  EXPECT_EQ(e.magic, 0x56737450);
  EXPECT_NE(e.dispatcher, nullptr);
  EXPECT_NE(e.process, nullptr);
  EXPECT_NE(e.setParameter, nullptr);
  EXPECT_NE(e.getParameter, nullptr);
  EXPECT_NE(e.processReplacing, nullptr);
  EXPECT_EQ(e.numPrograms, 1);
  EXPECT_EQ(e.numParams, 1);
  EXPECT_EQ(e.numInputs, 1);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.flags, 0);
  EXPECT_EQ(e.resvd1, 0);
  EXPECT_EQ(e.resvd2, 0);
  EXPECT_EQ(e.initialDelay, 0);
  EXPECT_EQ(e.realQualities, 0);
  EXPECT_EQ(e.offQualities, 0);
  EXPECT_EQ(e.ioRatio, 1.0f);
  EXPECT_EQ(e.object, &effect);
  EXPECT_EQ(e.user, nullptr);
  EXPECT_EQ(e.uniqueID, 0x4E6F4566);
  EXPECT_EQ(e.version, 1);
  for (char c : e.future) EXPECT_EQ(c, 0) << "reserved bytes must stay zero";

  EXPECT_EQ(effect.getSampleRate(), 44100.0f);
  EXPECT_EQ(effect.getBlockSize(), 1024);
  EXPECT_EQ(effect.getProgram(), 0);
  EXPECT_EQ(effect.getEditor(), nullptr);
}

TEST(EffectRecord, FourCharacterCodesPutTheFirstCharacterInTheTopByte) {
  EXPECT_EQ(fourCharCode('V', 's', 't', 'P'), 0x56737450);
  EXPECT_EQ(fourCharCode('N', 'o', 'E', 'f'), 0x4E6F4566);
  EXPECT_EQ(fourCharCode('N', 'v', 'E', 'f'), 0x4E764566);
  EXPECT_EQ(fourCharCode('M', 'v', 'Q', 'z'), 0x4D76517A);
  EXPECT_EQ(fourCharCode('\xFF', 0, 0, 1), static_cast<int32_t>(0xFF000001u));
}

TEST(EffectRecord, FlagSettersChangeOnlyTheirOwnBit) {
  struct Setter {
    const char* name;
    int32_t bit;
    void (*set)(AudioEffect&, bool);
  };
  // The bits by their values in the record (the editor's is 1), so that a wrong constant shows.
  const Setter setters[] = {
      {"hasClip", 2, [](AudioEffect& e, bool s) { e.hasClip(s); }},
      {"hasVu", 4, [](AudioEffect& e, bool s) { e.hasVu(s); }},
      {"canMono", 8, [](AudioEffect& e, bool s) { e.canMono(s); }},
      {"canProcessReplacing", 16, [](AudioEffect& e, bool s) { e.canProcessReplacing(s); }},
  };
  PlainEffect effect;
  RecordingEditor* editor = new RecordingEditor(&effect);
  // Walk every combination of the five bits, switching one at a time.
  int32_t expected = 0;
  for (int step = 0; step < 64; ++step) {
    for (const Setter& s : setters) {
      const bool state = ((step * 7 + s.bit) % 3) != 0;
      s.set(effect, state);
      expected = state ? (expected | s.bit) : (expected & ~s.bit);
      ASSERT_EQ(effect.getAeffect()->flags, expected) << s.name << "(" << state << ")";
    }
    const bool withEditor = (step % 2) == 0;
    effect.setEditor(withEditor ? editor : nullptr);
    expected = withEditor ? (expected | 1) : (expected & ~1);
    ASSERT_EQ(effect.getAeffect()->flags, expected) << "setEditor";
    ASSERT_EQ(effect.getEditor(), withEditor ? editor : nullptr);
  }
  effect.setEditor(nullptr);
  delete editor;
}

TEST_F(DispatcherTest, CEntriesForwardToTheEffect) {
  record->setParameter(record, 3, 0.25f);
  EXPECT_TRUE(log.saw("setParameter 3 0.250000"));
  EXPECT_EQ(record->getParameter(record, 2), 0.25f);
  EXPECT_TRUE(log.saw("getParameter 2"));

  float a[4] = {}, b[4] = {}, c[4] = {}, d[4] = {};
  float* inputs[2] = {a, b};
  float* outputs[2] = {c, d};
  record->process(record, inputs, outputs, 17);
  EXPECT_TRUE(log.saw("process 17"));
  EXPECT_EQ(effect->processInputs, inputs);
  EXPECT_EQ(effect->processOutputs, outputs);
  effect->processInputs = effect->processOutputs = nullptr;
  record->processReplacing(record, inputs, outputs, 3000);
  EXPECT_TRUE(log.saw("processReplacing 3000"));
  EXPECT_EQ(effect->processInputs, inputs);
  EXPECT_EQ(effect->processOutputs, outputs);
  EXPECT_EQ(log.calls.size(), 4u) << "each entry makes exactly one call";
}

TEST_F(DispatcherTest, CloseAnswersOneAndDestroysTheEffect) {
  attachEditor();
  EXPECT_EQ(dispatch(effClose), 1);
  EXPECT_TRUE(log.destroyed);
  EXPECT_TRUE(editorDestroyed) << "the effect owns its editor";
  ASSERT_FALSE(log.calls.empty());
  EXPECT_EQ(log.calls.back(), "close") << "close runs before the object goes";
}

TEST_F(DispatcherTest, OpenAndCloseThroughTheVirtualDispatcher) {
  EXPECT_EQ(effect->dispatcher(effOpen, 0, 0.0f, nullptr, 0.0f), 0);
  EXPECT_EQ(effect->dispatcher(effClose, 0, 0.0f, nullptr, 0.0f), 0);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"open", "close"}));
  EXPECT_FALSE(log.destroyed) << "only the host entry destroys the object";
}

TEST_F(DispatcherTest, SetProgramTakesOnlyNumbersOfExistingPrograms) {
  const int32_t last = RecordingEffect::kPrograms - 1;
  EXPECT_EQ(dispatch(effSetProgram, 0, last), 0);
  EXPECT_EQ(log.calls, std::vector<std::string>{"setProgram " + std::to_string(last)});
  EXPECT_EQ(dispatch(effGetProgram), last);

  log.calls.clear();
  for (int32_t refused : {RecordingEffect::kPrograms, RecordingEffect::kPrograms + 1, -1, -2,
                          std::numeric_limits<int32_t>::min(),
                          std::numeric_limits<int32_t>::max()}) {
    EXPECT_EQ(dispatch(effSetProgram, 0, refused), 0);
    EXPECT_TRUE(log.calls.empty()) << "program " << refused << " must be refused";
  }
  EXPECT_EQ(dispatch(effGetProgram), last);

  // The value arrives as a float: NaN names no program.
  effect->dispatcher(effSetProgram, 0, std::numeric_limits<float>::quiet_NaN(), nullptr, 0.0f);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(dispatch(effSetProgram, 0, 0), 0);
  EXPECT_EQ(dispatch(effGetProgram), 0);
}

TEST_F(DispatcherTest, NameOpcodesPassTheBufferAndTheIndex) {
  char text[32] = "new name";
  EXPECT_EQ(dispatch(effSetProgramName, 0, 0, text), 0);
  EXPECT_TRUE(log.saw("setProgramName new name"));
  EXPECT_EQ(dispatch(effGetProgramName, 0, 0, text), 0);
  EXPECT_STREQ(text, "prog");
  EXPECT_EQ(dispatch(effGetParamLabel, 2, 0, text), 0);
  EXPECT_STREQ(text, "dB");
  EXPECT_TRUE(log.saw("getParameterLabel 2"));
  EXPECT_EQ(dispatch(effGetParamDisplay, 3, 0, text), 0);
  EXPECT_STREQ(text, "0.5");
  EXPECT_TRUE(log.saw("getParameterDisplay 3"));
  EXPECT_EQ(dispatch(effGetParamName, 1, 0, text), 0);
  EXPECT_STREQ(text, "name");
  EXPECT_TRUE(log.saw("getParameterName 1"));
}

// Every effect, the DLL's too, answers through this dispatcher: a null text never reaches it.
// (tests/wine/reliability/hostile_calls_test.cpp sends null with every opcode to the real DLL.)
TEST_F(DispatcherTest, NameOpcodesIgnoreANullBuffer) {
  for (int32_t opcode : {effSetProgramName, effGetProgramName, effGetParamLabel,
                         effGetParamDisplay, effGetParamName})
    EXPECT_EQ(dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
  EXPECT_TRUE(log.calls.empty());
}

TEST(BaseTexts, NamesLabelsAndDisplaysAreEmpty) {
  PlainEffect effect;
  AEffect* e = effect.getAeffect();
  for (int32_t opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay,
                         effGetParamName, effSetProgramName}) {
    char text[16] = "untouched";
    EXPECT_EQ(e->dispatcher(e, opcode, 0, 0, text, 0.0f), 0);
    EXPECT_STREQ(text, "") << "opcode " << opcode;
  }
}

TEST_F(DispatcherTest, SampleRateComesFromOptAndBlockSizeFromValue) {
  EXPECT_EQ(dispatch(effSetSampleRate, 0, 22050, nullptr, 48000.0f), 0);
  EXPECT_EQ(effect->getSampleRate(), 48000.0f);

  EXPECT_EQ(dispatch(effSetBlockSize, 0, 4096, nullptr, 512.0f), 0);
  EXPECT_EQ(effect->getBlockSize(), 4096);
  // The value passes through a 32-bit float on its way.
  dispatch(effSetBlockSize, 0, 16777217);
  EXPECT_EQ(effect->getBlockSize(), 16777216);
}

TEST_F(DispatcherTest, MainsChangedSuspendsOnlyForZero) {
  dispatch(effMainsChanged, 0, 0);
  dispatch(effMainsChanged, 0, 1);
  dispatch(effMainsChanged, 0, -1);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"suspend", "resume", "resume"}));
}

TEST_F(DispatcherTest, VuIsScaledTo32767AndTruncated) {
  EXPECT_EQ(dispatch(effGetVu), 0);
  effect->vu = 1.0f;
  EXPECT_EQ(dispatch(effGetVu), 32767);
  effect->vu = 0.5f;
  EXPECT_EQ(dispatch(effGetVu), 16383);
  effect->vu = -0.5f;
  EXPECT_EQ(dispatch(effGetVu), -16383);

  PlainEffect plain;
  AEffect* e = plain.getAeffect();
  EXPECT_EQ(e->dispatcher(e, effGetVu, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(DispatcherTest, IdentifyAnswersNvEf) { EXPECT_EQ(dispatch(effIdentify), 0x4E764566); }

TEST_F(DispatcherTest, UnknownOpcodesAnswerZeroAndDoNothing) {
  RecordingEditor* editor = attachEditor();
  char text[16] = "keep";
  for (int32_t opcode : {23, 24, -1, -1000, 1000, std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<int32_t>::max()}) {
    EXPECT_EQ(dispatch(opcode, 1, 1, text, 1.0f), 0) << "opcode " << opcode;
  }
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(editor->totalCalls(), 0);
  EXPECT_STREQ(text, "keep");
  EXPECT_FALSE(log.destroyed);
}

TEST_F(DispatcherTest, EditorOpcodesAnswerZeroWithoutAnEditor) {
  ERect* rect = nullptr;
  char parent = 0;
  EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, nullptr);
  EXPECT_EQ(dispatch(effEditOpen, 0, 0, &parent), 0);
  for (int32_t opcode = effEditClose; opcode <= effEditSleep; ++opcode)
    EXPECT_EQ(dispatch(opcode, 5, 6, nullptr), 0) << "opcode " << opcode;
  EXPECT_TRUE(log.calls.empty());
}

TEST_F(DispatcherTest, EditorOpcodesReachTheAttachedEditor) {
  RecordingEditor* editor = attachEditor();

  ERect* rect = nullptr;
  EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(editor->getRectArgument, &rect);
  EXPECT_EQ(rect, &editor->rectangle);

  char parent = 0;
  EXPECT_EQ(dispatch(effEditOpen, 0, 0, &parent), editor->openAnswer);
  EXPECT_EQ(editor->openArgument, &parent);

  EXPECT_EQ(dispatch(effEditClose), 0);
  EXPECT_EQ(editor->closeCalls, 1);

  ERect area{1, 2, 3, 4};
  EXPECT_EQ(dispatch(effEditDraw, 0, 0, &area), 0);
  EXPECT_EQ(editor->drawArgument, &area);

  EXPECT_EQ(dispatch(effEditMouse, 12, -34), editor->mouseAnswer);
  EXPECT_EQ(editor->mouseX, 12);
  EXPECT_EQ(editor->mouseY, -34);

  EXPECT_EQ(dispatch(effEditKey, 0, 65), editor->keyAnswer);
  EXPECT_EQ(editor->keyArgument, 65);

  EXPECT_EQ(dispatch(effEditIdle), 0);
  EXPECT_EQ(dispatch(effEditTop), 0);
  EXPECT_EQ(dispatch(effEditSleep), 0);
  EXPECT_EQ(editor->idleCalls, 1);
  EXPECT_EQ(editor->topCalls, 1);
  EXPECT_EQ(editor->sleepCalls, 1);
  EXPECT_EQ(editor->totalCalls(), 9) << "each opcode reaches the editor exactly once";
  EXPECT_TRUE(log.calls.empty()) << "editor opcodes do not reach the effect";
}

TEST_F(DispatcherTest, EditGetRectWithANullPointerIsSafe) {
  RecordingEditor* editor = attachEditor();
  EXPECT_EQ(dispatch(effEditGetRect, 0, 0, nullptr), 0);
  EXPECT_EQ(editor->getRectCalls, 0);
}

TEST_F(DispatcherTest, DetachedEditorIsNoLongerReached) {
  RecordingEditor* editor = attachEditor();
  effect->setEditor(nullptr);
  EXPECT_EQ(dispatch(effEditIdle), 0);
  EXPECT_EQ(editor->totalCalls(), 0);
  delete editor;
  EXPECT_EQ(record->flags & effFlagsHasEditor, 0);
}

TEST_F(DispatcherTest, SetParameterAutomatedSetsThenTellsTheHost) {
  effect->setParameterAutomated(2, 0.75f);
  ASSERT_EQ(log.calls, std::vector<std::string>{"setParameter 2 0.750000"});
  ASSERT_EQ(host.calls.size(), 1u);
  const HostCall& call = host.calls[0];
  EXPECT_EQ(call.effectCallsBefore, 1u) << "the value is set before the host hears of it";
  EXPECT_EQ(call.effect, record);
  EXPECT_EQ(call.opcode, audioMasterAutomate);
  EXPECT_EQ(call.index, 2);
  EXPECT_EQ(call.value, 0);
  EXPECT_EQ(call.ptr, nullptr);
  EXPECT_EQ(call.opt, 0.75f);
}

TEST(HostCallback, SetParameterAutomatedWithoutAHostOnlySets) {
  CallLog log;
  RecordingEffect effect(log, nullptr);
  effect.setParameterAutomated(1, 0.5f);
  EXPECT_EQ(log.calls, std::vector<std::string>{"setParameter 1 0.500000"});
}

TEST_F(DispatcherTest, MasterVersionIsTheHostsAnswerOrOne) {
  host.answer = 2;
  EXPECT_EQ(effect->getMasterVersion(), 2);
  host.answer = 0;
  EXPECT_EQ(effect->getMasterVersion(), 1);
  ASSERT_EQ(host.calls.size(), 2u);
  for (const HostCall& call : host.calls) {
    EXPECT_EQ(call.effect, record);
    EXPECT_EQ(call.opcode, audioMasterVersion);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, 0.0f);
  }
}

TEST(HostCallback, MasterVersionWithoutAHostIsOne) {
  PlainEffect effect(nullptr);
  EXPECT_EQ(effect.getMasterVersion(), 1);
}

}  // namespace
