#pragma once
// Drives any VST 1.0 effect through the function pointers of its AEffect record only: sample
// rate and block size, resume, then one processing call per block, then suspend. The effect is
// expected to be open, with its program and parameters already set. The DLL route's Windows
// host drives the DLL with it; the native tests drive the effect object itself.
//
// Inputs: the effect's first input gets the speech, its second the carrier, any further ones
// silence; an effect with one input gets the speech only. Every block is copied into fresh
// input buffers, because an effect may overwrite its inputs (Mulchvoice does). Outputs: the
// first one or two. An effect without effFlagsCanReplacing is driven through `process`, which
// adds to its outputs, so they are cleared before every call.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/aeffect.h"
#include "tools/mvrender/render_loop.h"

constexpr int32_t kMaxEffectChannels = 64;

// The channel count the output file gets for `effect`: one per output, at most two; 0 when the
// effect has no output.
int32_t outputChannelsFor(const AEffect* effect, bool mono);

// Checks the record's counts and entries before anything is allocated from them; false with a
// reason.
bool checkEffectChannels(const AEffect* effect, std::string& error);

class AEffectProcessor : public BlockProcessor {
 public:
  AEffectProcessor(AEffect* effect, int32_t blockSize, float sampleRate, int32_t outputChannels);
  ~AEffectProcessor() override;  // suspends the effect if it was resumed

  // Checks the effect, allocates the channel buffers and resumes the effect.
  bool start(std::string& error);

  int32_t outputChannels() const override { return outputChannels_; }
  bool process(const float* speech, const float* carrier, float* const* outputs, int32_t frames,
               std::string& error) override;
  bool finish(std::string& error) override;

 private:
  AEffect* effect_;
  int32_t blockSize_;
  float sampleRate_;
  int32_t outputChannels_;
  bool resumed_ = false;
  AEffectProcessProc processBlock_ = nullptr;
  size_t inputCount_ = 0, outputCount_ = 0;
  std::unique_ptr<float[]> inputMemory_, outputMemory_;
  std::vector<float*> inputs_, outputs_;
};
