#include "vst/vocoder.h"

#include <cstring>
#include <new>

#include "host/aeff_editor.h"
#include "host/out_of_memory.h"

Vocoder::Vocoder(audioMasterCallback audioMaster)
    : AudioEffect(audioMaster, kNumPrograms, kNumParams), programs(nullptr), core() {
  programs = new (std::nothrow) VocoderProgram[kNumPrograms];
  if (programs == nullptr) {
    outOfMemory = true;
    return;
  }
  setProgram(0);

  setNumInputs(2);
  setNumOutputs(2);
  setUniqueID(fourCharCode('M', 'v', 'Q', 'z'));
  canProcessReplacing(true);
}

// Copes with a construction that stopped at a failed allocation.
Vocoder::~Vocoder() { delete[] programs; }

// Any host thread, or the editor's. Stores into the current program and the core, and marks the
// editor stale. Allocates nothing. The current "filter" value is clamped into 0 to 1 (not a
// number counts as 0) and reads back clamped; the program keeps the value as it was set.
void Vocoder::setParameter(int32_t index, float value) {
  if (index >= 0 && index < kNumParams && programs != nullptr) {
    programs[getProgram()].values[index] = value;
    core.setParameter(index, index == kFilter ? clampToUnit(value) : value);
  }
  if (editor != nullptr) editor->postUpdate();
}

float Vocoder::getParameter(int32_t index) { return core.getParameter(index); }

// Loads a program's values through setParameter, so every side effect follows; band, envelope
// and gate states carry on. A number outside the table changes nothing.
void Vocoder::setProgram(int32_t program) {
  if (program < 0 || program >= kNumPrograms || programs == nullptr) return;
  AudioEffect::setProgram(program);
  for (int32_t index = 0; index < kNumParams; ++index)
    setParameter(index, programs[program].values[index]);
}

void Vocoder::setProgramName(char* name) {
  if (name != nullptr && programs != nullptr) programs[getProgram()].setName(name);
}

void Vocoder::getProgramName(char* name) {
  if (name != nullptr && programs != nullptr) programs[getProgram()].getName(name);
}

// Audio thread. The inputs are overwritten with their flushed, scaled samples.
void Vocoder::processReplacing(float** inputs, float** outputs, int32_t sampleFrames) {
  if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr) return;
  core.process(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

// The accumulating entry does no vocoding: each input is copied to its output.
void Vocoder::process(float** inputs, float** outputs, int32_t sampleFrames) {
  if (sampleFrames <= 0 || inputs == nullptr || outputs == nullptr) return;
  const size_t bytes = sizeof(float) * static_cast<size_t>(sampleFrames);
  for (int channel = 0; channel < 2; ++channel) {
    if (inputs[channel] != nullptr && outputs[channel] != nullptr)
      std::memmove(outputs[channel], inputs[channel], bytes);
  }
}
