#include "engine/vocoder.h"

#include <cmath>
#include <new>

#include "editor/aeff_editor.h"
#include "host/out_of_memory.h"

namespace {

// Normalised centre frequencies of bands 1 to 8; times 20000 they are the centres in Hz.
constexpr float kBandFrequencies[kNumBands] = {0.009f,   0.0124f,  0.01835f, 0.02695f,
                                               0.03955f, 0.05755f, 0.08515f, 0.125f};

// 3.1415 / 22050: hertz to radians per sample at the fixed 44100 Hz.
constexpr float kRadiansPerHertz = 0.00014247166f;

}  // namespace

Vocoder::Vocoder(audioMasterCallback audioMaster)
    : AudioEffect(audioMaster, kNumPrograms, kNumParams),
      programs(nullptr),
      bank(nullptr),
      workBuffer(nullptr),
      bandFrequency(),
      gateZ(0.0f),
      gateFb(0.0f),
      gateIn(0.0f),
      gateHalfPeriod(1),
      gateCountdown(0),
      gateOn(0) {
  programs = new (std::nothrow) VocoderProgram[kNumPrograms];
  if (programs == nullptr) {
    outOfMemory = true;
    return;
  }
  bank = new (std::nothrow) BandFilterBank;
  if (bank == nullptr || !bank->complete()) {
    outOfMemory = true;
    return;
  }
  workBuffer = new (std::nothrow) float[kWorkBufferFloats];
  if (workBuffer == nullptr) {
    outOfMemory = true;
    return;
  }

  for (int32_t i = 0; i < kNumBands; ++i) bandFrequency[i] = kBandFrequencies[i];
  gateZ = 0.0f;
  gateCountdown = 22050;  // the first phase lasts half a second, whatever "freq" says
  gateOn = 1;
  setGateCoefficients();
  setProgram(0);

  setNumInputs(2);
  setNumOutputs(2);
  setUniqueID(fourCharCode('M', 'v', 'Q', 'z'));
  canProcessReplacing(true);
}

// Copes with a construction that stopped at any failed allocation.
Vocoder::~Vocoder() {
  delete[] programs;
  delete bank;
  delete[] workBuffer;
}

RelaxedAtomic<float>& Vocoder::currentValue(int32_t index) {
  RelaxedAtomic<float>* const values[kNumParams] = {&carrier, &speech, &filter,   &morph,
                                                    &freq,    &gain,   &switchCS, &mulchIO};
  return *values[index];
}

// Any host thread, or the editor's. Stores into the current program and the current value,
// recomputes what depends on the parameter and marks the editor stale. Allocates nothing.
void Vocoder::setParameter(int32_t index, float value) {
  if (index >= 0 && index < kNumParams && programs != nullptr) {
    programs[curProgram].values[index] = value;
    currentValue(index) = value;
    switch (index) {
      case kFilter:
        for (int32_t band = 1; band <= kNumBands; ++band)
          setBandFrequency(band, bandFrequency[band - 1]);
        break;
      case kMorph: updateEnvelopeSmoothing(); break;
      case kFreq: updateGateHalfPeriod(); break;
      default: break;
    }
  }
  if (editor != nullptr) editor->postUpdate();
}

float Vocoder::getParameter(int32_t index) {
  if (index < 0 || index >= kNumParams) return 0.0f;
  return currentValue(index);
}

// Loads a program's values through setParameter, so every side effect follows; band, envelope
// and gate states carry on. A number outside the table changes nothing.
void Vocoder::setProgram(int32_t program) {
  if (program < 0 || program >= kNumPrograms || programs == nullptr) return;
  curProgram = program;
  for (int32_t index = 0; index < kNumParams; ++index)
    setParameter(index, programs[program].values[index]);
}

void Vocoder::setProgramName(char* name) {
  if (name != nullptr && programs != nullptr) programs[curProgram].setName(name);
}

void Vocoder::getProgramName(char* name) {
  if (name != nullptr && programs != nullptr) programs[curProgram].getName(name);
}

void Vocoder::setBandFrequency(int32_t band, float frequency) {
  if (bank == nullptr) return;
  double hz = static_cast<double>(frequency) * 20000.0;
  if (hz < 50.0) hz = 50.0;
  const float angle = static_cast<float>(hz * static_cast<double>(kRadiansPerHertz));

  // The current width is clamped in place; the program keeps the value as it was set.
  float width = filter;
  if (width > 1.0f) width = 1.0f;
  if (!(width >= 0.0f)) width = 0.0f;
  filter = width;

  const double bandwidth = (std::exp(3.0 * static_cast<double>(width)) - 1.0) * 0.05 *
                           static_cast<double>(angle) * 0.4;
  bank->setCoefficients(band, angle, static_cast<float>(bandwidth));
}
