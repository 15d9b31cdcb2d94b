#pragma once
// The effect the host drives through the plug-in interface: eight parameters, two programs and
// the vocoder's sound, which the core in engine/channel_vocoder.h makes. This class adapts the
// host's calls to the core: it keeps the programs, stores every parameter into the current one
// and hands the value on. The core is always tuned for 44100 Hz; the sample rate the host sets
// is stored by the base but not passed on.
//
// Threads: `setParameter`, `setProgram` and the name operations may run on any host thread
// while the audio thread is inside `processReplacing`. They share only relaxed atomics.

#include <cstdint>

#include "engine/channel_vocoder.h"
#include "host/audio_effect.h"
#include "vst/vocoder_program.h"

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

  // The core, for tests and tools.
  ChannelVocoder& engine() { return core; }
  const ChannelVocoder& engine() const { return core; }

 private:
  VocoderProgram* programs;
  ChannelVocoder core;
};
