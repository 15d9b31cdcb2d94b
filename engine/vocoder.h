#pragma once
// The effect: eight parameters, two programs, the eight-band filter bank, the work buffer and
// the chopper gate. Every time constant and frequency is fixed for 44100 Hz; the sample rate
// the host sets is stored by the base but never read here.
//
// Threads: `setParameter`, `setProgram` and the name operations may run on any host thread
// while the audio thread is inside `processReplacing`. They share only relaxed atomics; the
// processing reads the gains, the envelope coefficients and the bands' coefficients at the start
// of each slice of at most kWorkBufferSize samples, and the two switches once per call.

#include <cstdint>

#include "engine/band_filter_bank.h"
#include "engine/parameters.h"
#include "engine/vocoder_program.h"
#include "host/audio_effect.h"
#include "host/relaxed_atomic.h"

constexpr int32_t kWorkBufferSize = 3000;  // the longest slice one pass processes
constexpr int32_t kWorkBufferFloats = 6 * kWorkBufferSize;

class Vocoder : public AudioEffect {
 public:
  explicit Vocoder(audioMasterCallback audioMaster);
  ~Vocoder() override;

  void setParameter(int32_t index, float value) override;
  float getParameter(int32_t index) override;
  void process(float** inputs, float** outputs, int32_t sampleFrames) override;
  void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
  void setProgram(int32_t program) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;

  // Tunes one band (1 to 8) from its normalised centre frequency and the current filter width.
  void setBandFrequency(int32_t band, float frequency);
  void updateEnvelopeSmoothing();
  void setGateCoefficients();
  void updateGateHalfPeriod();

  // Read-only views for tests and tools.
  const BandFilterBank* filterBank() const { return bank; }
  int32_t gateHalfPeriodSamples() const { return gateHalfPeriod; }
  int32_t gateCountdownSamples() const { return gateCountdown; }
  bool gateIsOn() const { return gateOn != 0; }
  float gateSmootherState() const { return gateZ; }
  float envelopeFeedback() const { return envFb; }
  float envelopeInput0() const { return envIn0; }
  float envelopeInput1() const { return envIn1; }

 private:
  void takeInputs(float* speechIn, float* carrierIn, float* speechPairs, float* carrierPairs,
                  int32_t n);
  void planChopperGate(float* gains, int32_t n);
  void writeOutputs(const float* work, float* out1, float* out2, int32_t n);
  RelaxedAtomic<float>& currentValue(int32_t index);

  VocoderProgram* programs;
  BandFilterBank* bank;
  // The summed band products, the speech and carrier inputs of the bands as pairs per sample,
  // and the gate's gain for each sample: kWorkBufferFloats floats, kWorkBufferSize samples.
  float* workBuffer;
  float bandFrequency[kNumBands];
  RelaxedAtomic<float> carrier, speech, filter, morph, freq, gain, switchCS, mulchIO;
  RelaxedAtomic<float> envFb, envIn0, envIn1;
  float gateZ;
  float gateFb, gateIn;
  RelaxedAtomic<int32_t> gateHalfPeriod;
  int32_t gateCountdown;
  int32_t gateOn;
};
