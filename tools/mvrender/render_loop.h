#pragma once
// Drives any VST 1.0 effect over a whole signal, through the function pointers of its AEffect
// record only: sample rate and block size, resume, then one processing call per block, then
// suspend. The effect is expected to be open, with its program and parameters already set.
//
// Inputs: the effect's first input gets the speech, its second the carrier, any further ones
// silence; an effect with one input gets the speech only. Every block is copied into fresh
// input buffers, because an effect may overwrite its inputs (Mulchvoice does). Outputs: the
// sink gets the effect's first one or two outputs. An effect without effFlagsCanReplacing is
// driven through `process`, which adds to its outputs, so they are cleared before every call.

#include <cstdint>
#include <string>

#include "host/aeffect.h"

// Where the samples come from. `read` fills `frames` samples of speech and of carrier; past
// the end of either signal it fills silence.
class RenderSource {
 public:
  virtual ~RenderSource() = default;
  virtual int64_t frames() const = 0;
  virtual bool read(float* speech, float* carrier, int32_t frames, std::string& error) = 0;
};

// Where the effect's output goes, one buffer per channel.
class RenderSink {
 public:
  virtual ~RenderSink() = default;
  virtual bool write(const float* const* channels, int32_t frames, std::string& error) = 0;
};

// Told after every block; a listener that draws decides itself how often it redraws. It may
// also stop the render (the user pressed Ctrl-C): the loop then ends with the error
// "interrupted" before the next block.
class RenderProgress {
 public:
  virtual ~RenderProgress() = default;
  virtual void progress(int64_t framesDone, int64_t framesTotal) = 0;
  virtual bool cancelled() { return false; }
};

struct RenderSettings {
  int32_t blockSize = 512;
  float sampleRate = 44100.0f;
  int32_t outputChannels = 2;  // 1 or 2, at most the effect's outputs
};

struct RenderSummary {
  int64_t frames = 0;
  double sampleRate = 44100.0;
  float peak = 0.0f;             // largest output magnitude
  double elapsedSeconds = 0.0;   // wall-clock time of the whole loop, reading and writing included
};

constexpr int32_t kMaxEffectChannels = 64;

// The channel count the output file gets for `effect`: one per output, at most two; 0 when the
// effect has no output.
int32_t outputChannelsFor(const AEffect* effect, bool mono);

// Checks the record's counts before anything is allocated from them; false with a reason.
bool checkEffectChannels(const AEffect* effect, std::string& error);

bool renderEffect(AEffect* effect, RenderSource& source, RenderSink& sink,
                  const RenderSettings& settings, RenderProgress* progress, RenderSummary& summary,
                  std::string& error);
