#include "tests/native/reliability/host_driver.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "engine/parameters.h"
#include "vst/vocoder.h"
#include "host/plugin_main.h"

namespace {

constexpr int32_t kBlockSizes[] = {0, 1, 63, 512, 3000, 3001, HostDriver::kLongestBlock, -1,
                                   std::numeric_limits<int32_t>::min()};

constexpr int32_t kIndices[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8,
                                std::numeric_limits<int32_t>::max(),
                                std::numeric_limits<int32_t>::min()};

const float kValues[] = {0.0f,  0.5f,  1.0f,  1.5f,        -0.25f, std::nanf(""),
                         INFINITY, 1e30f, 1e-40f /* subnormal */, -0.0f};

void fillSignal(std::vector<float>& x, float frequency) {
  for (size_t k = 0; k < x.size(); ++k)
    x[k] = 0.5f * std::sin(frequency * static_cast<float>(k));
}

void noNotice() {}

AudioEffect* createVocoder(audioMasterCallback audioMaster) {
  return new (std::nothrow) Vocoder(audioMaster);
}

}  // namespace

intptr_t VSTCALL testHostCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

AEffect* openTestEffect(bool withEditor) {
  AEffect* effect = instantiateEffect(testHostCallback, noNotice, createVocoder);
  if (effect == nullptr || !withEditor) return effect;
  AudioEffect* object = static_cast<AudioEffect*>(effect->object);
  object->setEditor(new QuietEditor(object));
  return effect;
}

HostDriver::HostDriver()
    : in1_(kLongestBlock), in2_(kLongestBlock), out1_(kLongestBlock), out2_(kLongestBlock),
      text_(), name_(), pointer_(nullptr) {
  const char longName[] = "A name far longer than the 23 characters a program keeps";
  std::memcpy(name_, longName, sizeof longName);
}

int32_t HostDriver::dispatch(AEffect* effect, CallObserver& observer, const char* what,
                             int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
  observer.before(what);
  const int32_t answer = effect->dispatcher(effect, opcode, index, value, ptr, opt);
  observer.after(what);
  return answer;
}

long HostDriver::processing(AEffect* effect, CallObserver& observer) {
  long calls = 0;
  float* inputs[2] = {in1_.data(), in2_.data()};
  float* outputs[2] = {out1_.data(), out2_.data()};
  for (float gate : {1.0f, 0.0f}) {
    for (float swap : {0.0f, 1.0f}) {
      observer.before("setParameter");
      effect->setParameter(effect, kMulchIO, gate);
      effect->setParameter(effect, kSwitchCS, swap);
      observer.after("setParameter");
      calls += 2;
      for (int32_t frames : kBlockSizes) {
        fillSignal(in1_, 0.01f);
        fillSignal(in2_, 0.13f);
        observer.before("processReplacing");
        effect->processReplacing(effect, inputs, outputs, frames);
        observer.after("processReplacing");
        ++calls;
      }
    }
  }
  // Outputs that are the inputs.
  fillSignal(in1_, 0.02f);
  fillSignal(in2_, 0.07f);
  observer.before("processReplacing in place");
  effect->processReplacing(effect, inputs, inputs, 3001);
  observer.after("processReplacing in place");
  ++calls;
  for (int32_t frames : kBlockSizes) {
    observer.before("process");
    effect->process(effect, inputs, outputs, frames);
    observer.after("process");
    ++calls;
  }
  return calls;
}

long HostDriver::parameters(AEffect* effect, CallObserver& observer) {
  long calls = 0;
  for (int32_t index : kIndices) {
    for (float value : kValues) {
      observer.before("setParameter");
      effect->setParameter(effect, index, value);
      observer.after("setParameter");
      observer.before("getParameter");
      const float read = effect->getParameter(effect, index);
      observer.after("getParameter");
      (void)read;
      calls += 2;
    }
  }
  // Back to the defaults, so that what follows processes ordinary settings.
  for (int32_t index = 0; index < kNumParams; ++index) {
    observer.before("setParameter");
    effect->setParameter(effect, index, kParameterTable[index].defaultValue);
    observer.after("setParameter");
    ++calls;
  }
  return calls;
}

long HostDriver::programsAndNames(AEffect* effect, CallObserver& observer) {
  long calls = 0;
  for (int32_t program : {1, 0, 2, -1, 1, 0}) {
    dispatch(effect, observer, "effSetProgram", effSetProgram, 0, program, nullptr, 0.0f);
    dispatch(effect, observer, "effGetProgram", effGetProgram, 0, 0, nullptr, 0.0f);
    dispatch(effect, observer, "effSetProgramName", effSetProgramName, 0, 0, name_, 0.0f);
    dispatch(effect, observer, "effGetProgramName", effGetProgramName, 0, 0, text_, 0.0f);
    dispatch(effect, observer, "effSetProgramName", effSetProgramName, 0, 0, nullptr, 0.0f);
    dispatch(effect, observer, "effGetProgramName", effGetProgramName, 0, 0, nullptr, 0.0f);
    calls += 6;
  }
  char empty[1] = {'\0'};
  dispatch(effect, observer, "effSetProgramName", effSetProgramName, 0, 0, empty, 0.0f);
  dispatch(effect, observer, "effGetProgramName", effGetProgramName, 0, 0, text_, 0.0f);
  return calls + 2;
}

long HostDriver::otherOpcodes(AEffect* effect, CallObserver& observer) {
  long calls = 0;
  dispatch(effect, observer, "effOpen", effOpen, 0, 0, nullptr, 0.0f);
  ++calls;
  for (int32_t index : kIndices) {
    for (void* ptr : {static_cast<void*>(text_), static_cast<void*>(nullptr)}) {
      dispatch(effect, observer, "effGetParamLabel", effGetParamLabel, index, 0, ptr, 0.0f);
      dispatch(effect, observer, "effGetParamDisplay", effGetParamDisplay, index, 0, ptr, 0.0f);
      dispatch(effect, observer, "effGetParamName", effGetParamName, index, 0, ptr, 0.0f);
      calls += 3;
    }
  }
  dispatch(effect, observer, "effGetVu", effGetVu, 0, 0, nullptr, 0.0f);
  for (float rate : {48000.0f, 0.0f, std::nanf(""), -INFINITY})
    dispatch(effect, observer, "effSetSampleRate", effSetSampleRate, 0, 0, nullptr, rate);
  for (int32_t size : {512, 0, -1, std::numeric_limits<int32_t>::max()})
    dispatch(effect, observer, "effSetBlockSize", effSetBlockSize, 0, size, nullptr, 0.0f);
  for (int32_t on : {0, 1, -1, 0})
    dispatch(effect, observer, "effMainsChanged", effMainsChanged, 0, on, nullptr, 0.0f);
  dispatch(effect, observer, "effIdentify", effIdentify, 0, 0, nullptr, 0.0f);
  calls += 1 + 4 + 4 + 4 + 1;
  for (int32_t opcode : {23, 24, -1, 1000, -1000, std::numeric_limits<int32_t>::min()}) {
    dispatch(effect, observer, "unknown opcode", opcode, 1, 1, text_, 1.0f);
    ++calls;
  }
  return calls;
}

long HostDriver::editorOpcodes(AEffect* effect, CallObserver& observer) {
  dispatch(effect, observer, "effEditGetRect", effEditGetRect, 0, 0, &pointer_, 0.0f);
  dispatch(effect, observer, "effEditOpen", effEditOpen, 0, 0, text_, 0.0f);
  dispatch(effect, observer, "effEditDraw", effEditDraw, 0, 0, nullptr, 0.0f);
  dispatch(effect, observer, "effEditMouse", effEditMouse, 10, 20, nullptr, 0.0f);
  dispatch(effect, observer, "effEditKey", effEditKey, 0, 'a', nullptr, 0.0f);
  dispatch(effect, observer, "effEditIdle", effEditIdle, 0, 0, nullptr, 0.0f);
  dispatch(effect, observer, "effEditTop", effEditTop, 0, 0, nullptr, 0.0f);
  dispatch(effect, observer, "effEditSleep", effEditSleep, 0, 0, nullptr, 0.0f);
  dispatch(effect, observer, "effEditIdle", effEditIdle, 0, 0, nullptr, 0.0f);
  dispatch(effect, observer, "effEditClose", effEditClose, 0, 0, nullptr, 0.0f);
  return 10;
}

long HostDriver::all(AEffect* effect, CallObserver& observer) {
  return processing(effect, observer) + parameters(effect, observer) +
         programsAndNames(effect, observer) + otherOpcodes(effect, observer) +
         editorOpcodes(effect, observer) + processing(effect, observer);
}
