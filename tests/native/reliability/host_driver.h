#pragma once
// A host that calls every entry of the effect record, with ordinary and awkward arguments:
// processing blocks from 0 to past two work buffers and negative counts, every parameter index
// with in-range and hostile values, program switches and names, every non-editor opcode and
// unknown ones, and the editor opcodes. Its buffers are allocated when it is built, so a run
// allocates nothing of its own: what the hooks of a test see during a run is the plug-in's.

#include <cstdint>
#include <vector>

#include "host/aeff_editor.h"
#include "host/aeffect.h"

// Told of every call just before and just after it is made; `what` is a string literal.
class CallObserver {
 public:
  virtual void before(const char* what) { (void)what; }
  virtual void after(const char* what) { (void)what; }

 protected:
  ~CallObserver() = default;
};

// An editor that draws nothing and needs no window; it counts the refreshes it is asked for.
class QuietEditor : public AEffEditor {
 public:
  explicit QuietEditor(AudioEffect* effect) : AEffEditor(effect) {}
  void update() override { ++updates; }
  int32_t getRect(ERect** rect) override {
    *rect = &rectangle_;
    return 1;
  }
  long updates = 0;

 private:
  ERect rectangle_{0, 0, 161, 479};
};

// The host callback every test host here passes: it answers the version question.
intptr_t VSTCALL testHostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                 void* ptr, float opt);

// Builds an effect as `main` does (without the notice), with a QuietEditor attached or none.
AEffect* openTestEffect(bool withEditor = true);

class HostDriver {
 public:
  static constexpr int32_t kLongestBlock = 6001;

  HostDriver();

  // Each returns the number of calls made through the record.
  long processing(AEffect* effect, CallObserver& observer);
  long parameters(AEffect* effect, CallObserver& observer);
  long programsAndNames(AEffect* effect, CallObserver& observer);
  long otherOpcodes(AEffect* effect, CallObserver& observer);
  long editorOpcodes(AEffect* effect, CallObserver& observer);
  long all(AEffect* effect, CallObserver& observer);

 private:
  int32_t dispatch(AEffect* effect, CallObserver& observer, const char* what, int32_t opcode,
                   int32_t index, int32_t value, void* ptr, float opt);

  std::vector<float> in1_, in2_, out1_, out2_;
  char text_[256];
  char name_[64];
  void* pointer_;
};
