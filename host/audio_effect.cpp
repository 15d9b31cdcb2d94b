#include "host/audio_effect.h"

#include <cmath>
#include <cstring>

#include "host/aeff_editor.h"

namespace {

// What the base reports until the host sets its own: an effect's sample rate and block size.
constexpr float kInitialSampleRate = 44100.0f;
constexpr int32_t kInitialBlockSize = 1024;

constexpr std::memory_order kRelaxed = std::memory_order_relaxed;
static_assert(std::atomic<float>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "shared values must be lock-free");

AudioEffect* effectOf(AEffect* e) {
  return e != nullptr ? static_cast<AudioEffect*>(e->object) : nullptr;
}

// The host's C entries. Each reads the effect object from the record's `object` field.

intptr_t VSTCALL hostDispatcher(AEffect* e, int32_t opCode, int32_t index, intptr_t value,
                                void* ptr, float opt) {
  AudioEffect* effect = effectOf(e);
  if (effect == nullptr) return 0;
  int32_t answer = effect->dispatcher(opCode, index, static_cast<float>(value), ptr, opt);
  if (opCode == effClose) {
    delete effect;
    return 1;
  }
  return answer;
}

void VSTCALL hostProcess(AEffect* e, float** inputs, float** outputs, int32_t sampleFrames) {
  if (AudioEffect* effect = effectOf(e)) effect->process(inputs, outputs, sampleFrames);
}

void VSTCALL hostProcessReplacing(AEffect* e, float** inputs, float** outputs,
                                  int32_t sampleFrames) {
  if (AudioEffect* effect = effectOf(e)) effect->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALL hostSetParameter(AEffect* e, int32_t index, float value) {
  if (AudioEffect* effect = effectOf(e)) effect->setParameter(index, value);
}

float VSTCALL hostGetParameter(AEffect* e, int32_t index) {
  AudioEffect* effect = effectOf(e);
  return effect != nullptr ? effect->getParameter(index) : 0.0f;
}

// Truncation toward zero that saturates instead of overflowing; NaN gives 0.
int32_t truncateToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Opcodes that write a text through `ptr` must not be handed a null pointer.
void storeEmpty(char* text) {
  if (text != nullptr) text[0] = '\0';
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams)
    : sampleRate(kInitialSampleRate),
      editor(nullptr),
      audioMaster(audioMaster),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0),
      blockSize(kInitialBlockSize) {
  std::memset(&cEffect, 0, sizeof cEffect);
  cEffect.magic = kEffectMagic;
  cEffect.dispatcher = hostDispatcher;
  cEffect.process = hostProcess;
  cEffect.setParameter = hostSetParameter;
  cEffect.getParameter = hostGetParameter;
  cEffect.numPrograms = numPrograms;
  cEffect.numParams = numParams;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.flags = 0;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.user = nullptr;
  cEffect.uniqueID = kNoEffectId;
  cEffect.version = 1;
  cEffect.processReplacing = hostProcessReplacing;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setParameter(int32_t, float) {}
float AudioEffect::getParameter(int32_t) { return 0.0f; }

// Called by the editor's controls on the window's thread: store, then let the host record it.
void AudioEffect::setParameterAutomated(int32_t index, float value) {
  setParameter(index, value);
  if (audioMaster != nullptr) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::processReplacing(float**, float**, int32_t) {}

int32_t AudioEffect::dispatcher(int32_t opCode, int32_t index, float value, void* ptr, float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opCode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
      // Negative numbers would index outside the program table: they change nothing.
      if (value < static_cast<float>(numPrograms) && value >= 0.0f) setProgram(truncateToInt32(value));
      return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName:
      if (text != nullptr) setProgramName(text);
      return 0;
    case effGetProgramName:
      if (text != nullptr) getProgramName(text);
      return 0;
    case effGetParamLabel:
      if (text != nullptr) getParameterLabel(index, text);
      return 0;
    case effGetParamDisplay:
      if (text != nullptr) getParameterDisplay(index, text);
      return 0;
    case effGetParamName:
      if (text != nullptr) getParameterName(index, text);
      return 0;
    case effGetVu: return truncateToInt32(static_cast<double>(getVu()) * 32767.0);
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(truncateToInt32(value)); return 0;
    case effMainsChanged:
      if (value == 0.0f) suspend(); else resume();
      return 0;
    case effIdentify: return kIdentifyAnswer;
    default: break;
  }
  if (editor == nullptr) return 0;
  switch (opCode) {
    case effEditGetRect:
      return ptr != nullptr ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
    case effEditOpen: return editor->open(ptr);
    case effEditClose: editor->close(); return 0;
    case effEditDraw: editor->draw(static_cast<ERect*>(ptr)); return 0;
    case effEditMouse: return editor->mouse(index, truncateToInt32(value));
    case effEditKey: return editor->key(truncateToInt32(value));
    case effEditIdle: editor->idle(); return 0;
    case effEditTop: editor->top(); return 0;
    case effEditSleep: editor->sleep(); return 0;
    default: return 0;
  }
}

void AudioEffect::open() {}
void AudioEffect::close() {}
int32_t AudioEffect::getProgram() { return curProgram.load(kRelaxed); }
void AudioEffect::setProgram(int32_t program) { curProgram.store(program, kRelaxed); }
void AudioEffect::setProgramName(char* name) { storeEmpty(name); }
void AudioEffect::getProgramName(char* name) { storeEmpty(name); }
void AudioEffect::getParameterLabel(int32_t, char* label) { storeEmpty(label); }
void AudioEffect::getParameterDisplay(int32_t, char* text) { storeEmpty(text); }
void AudioEffect::getParameterName(int32_t, char* text) { storeEmpty(text); }
float AudioEffect::getVu() { return 0.0f; }
void AudioEffect::setSampleRate(float rate) { sampleRate.store(rate, kRelaxed); }
void AudioEffect::setBlockSize(int32_t size) { blockSize.store(size, kRelaxed); }
void AudioEffect::suspend() {}
void AudioEffect::resume() {}
void AudioEffect::setUniqueID(int32_t id) { cEffect.uniqueID = id; }
void AudioEffect::setNumInputs(int32_t count) { cEffect.numInputs = count; }
void AudioEffect::setNumOutputs(int32_t count) { cEffect.numOutputs = count; }
void AudioEffect::hasVu(bool state) { setFlag(effFlagsHasVu, state); }
void AudioEffect::hasClip(bool state) { setFlag(effFlagsHasClip, state); }
void AudioEffect::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }

int32_t AudioEffect::getMasterVersion() {
  if (audioMaster == nullptr) return 1;
  const auto version = static_cast<int32_t>(
      audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f));
  return version != 0 ? version : 1;
}

float AudioEffect::getSampleRate() { return sampleRate.load(kRelaxed); }
int32_t AudioEffect::getBlockSize() { return blockSize.load(kRelaxed); }

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(int32_t flag, bool state) {
  if (state)
    cEffect.flags |= flag;
  else
    cEffect.flags &= ~flag;
}
