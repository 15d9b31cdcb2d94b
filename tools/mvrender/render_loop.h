#pragma once
// The render loop: it reads the speech and the carrier from a source, has a processor turn them
// into the effect's outputs, and hands these to a sink, a chunk at a time, until the source is
// used up. Whatever the processor, the loop is the same: the LV2 plug-in's natively, a DLL's
// under Wine (tools/mvrender/dll_processor.h), or an effect record's in the tests.

#include <cstdint>
#include <string>

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

// The effect: speech and carrier in, one or two output channels out. A processor makes its
// processing calls in blocks of the block size it was opened with, so it is given whole blocks
// but for the last chunk. `finish` ends its work once the last chunk is through.
class BlockProcessor {
 public:
  virtual ~BlockProcessor() = default;
  virtual int32_t outputChannels() const = 0;
  virtual bool process(const float* speech, const float* carrier, float* const* outputs,
                       int32_t frames, std::string& error) = 0;
  virtual bool finish(std::string& error) {
    (void)error;
    return true;
  }
};

// Told after every chunk; a listener that draws decides itself how often it redraws. It may
// also stop the render (the user pressed Ctrl-C): the loop then ends with the error
// "interrupted" before the next chunk.
class RenderProgress {
 public:
  virtual ~RenderProgress() = default;
  virtual void progress(int64_t framesDone, int64_t framesTotal) = 0;
  virtual bool cancelled() { return false; }
};

struct RenderSummary {
  int64_t frames = 0;
  double sampleRate = 44100.0;
  float peak = 0.0f;             // largest output magnitude
  double elapsedSeconds = 0.0;   // wall-clock time of the whole loop, reading and writing included
};

// The frames of one round of the loop: whole blocks, as many as make about 8192 frames.
int32_t chunkFrames(int32_t blockSize);

// Runs the whole signal through `processor` in chunks of chunkFrames(blockSize). Fills every
// field of `summary` but the sample rate.
bool renderSignal(RenderSource& source, BlockProcessor& processor, RenderSink& sink,
                  int32_t blockSize, RenderProgress* progress, RenderSummary& summary,
                  std::string& error);
