#pragma once
// The effect base class. It owns the descriptor record the host holds, turns the host's C calls
// into virtual operations, and gives every operation a default so that a concrete effect
// overrides only what it changes.
//
// Threads: the host decides. In practice its user-interface thread calls the dispatcher and its
// audio thread the processing entries; parameter entries may come from either. Nothing here
// allocates, locks or throws.

#include <atomic>
#include <cstdint>

#include "host/aeffect.h"

class AEffEditor;

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, int32_t numPrograms, int32_t numParams);
  virtual ~AudioEffect();

  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  virtual void setParameter(int32_t index, float value);
  virtual float getParameter(int32_t index);
  virtual void setParameterAutomated(int32_t index, float value);

  virtual void process(float** inputs, float** outputs, int32_t sampleFrames) = 0;
  virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);

  virtual int32_t dispatcher(int32_t opCode, int32_t index, float value, void* ptr, float opt);

  virtual void open();
  virtual void close();
  virtual int32_t getProgram();
  virtual void setProgram(int32_t program);
  virtual void setProgramName(char* name);
  virtual void getProgramName(char* name);
  virtual void getParameterLabel(int32_t index, char* label);
  virtual void getParameterDisplay(int32_t index, char* text);
  virtual void getParameterName(int32_t index, char* text);
  virtual float getVu();
  virtual void setSampleRate(float sampleRate);
  virtual void setBlockSize(int32_t blockSize);
  virtual void suspend();
  virtual void resume();
  virtual void setUniqueID(int32_t id);
  virtual void setNumInputs(int32_t count);
  virtual void setNumOutputs(int32_t count);
  virtual void hasVu(bool state);
  virtual void hasClip(bool state);
  virtual void canMono(bool state);
  virtual void canProcessReplacing(bool state);
  virtual int32_t getMasterVersion();
  virtual float getSampleRate();
  virtual int32_t getBlockSize();

  // Value-to-text conversions: each writes an 8-character field plus terminator (9 bytes).
  virtual void dB2string(float value, char* text);
  virtual void Hz2string(float samples, char* text);
  virtual void ms2string(float samples, char* text);
  virtual void float2string(float value, char* text);
  virtual void long2string(int32_t value, char* text);

  // Attaches the editor (or detaches it with null) and keeps effFlagsHasEditor in step.
  void setEditor(AEffEditor* newEditor);
  AEffEditor* getEditor() const { return editor; }
  AEffect* getAeffect() { return &cEffect; }

 protected:
  // What host threads share here is read and written with relaxed order, as plain 32-bit
  // moves: no lock, no fence. Derived effects reach them through the operations above.
  std::atomic<float> sampleRate;
  AEffEditor* editor;
  audioMasterCallback audioMaster;
  int32_t numPrograms;
  int32_t numParams;
  std::atomic<int32_t> curProgram;
  std::atomic<int32_t> blockSize;
  AEffect cEffect;

 private:
  void setFlag(int32_t flag, bool state);
};
