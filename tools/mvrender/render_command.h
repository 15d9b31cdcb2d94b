#pragma once
// The `render` command once the effect is loaded and open: open the inputs, check their rate,
// set the program and parameters, render into a new file, and report. Any failure leaves no
// output file behind and no partly written target.

#include <cstdint>
#include <string>

#include "engine/sample_rate.h"
#include "host/aeffect.h"
#include "tools/mvrender/command_line.h"
#include "tools/mvrender/render_loop.h"

// The rate the plug-in's tuning is fixed for in its VST 1.0 form.
constexpr uint32_t kEffectSampleRate = static_cast<uint32_t>(kDefaultSampleRate);

// What the render tells its user while it runs.
class RenderConsole {
 public:
  virtual ~RenderConsole() = default;
  virtual void note(const std::string& line) = 0;
  virtual RenderProgress* progress() = 0;  // null: no progress bar
};

struct RenderResult {
  RenderSummary summary;
  int64_t clippedSamples = 0;
  std::string summaryLine;
};

bool runRender(AEffect* effect, const CommandLine& options, RenderConsole& console,
               RenderResult& result, std::string& error);
