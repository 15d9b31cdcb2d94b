#pragma once
// The `render` command: open the inputs and check their rate, open the effect on its route (the
// LV2 plug-in natively, or the DLL under Wine) with the program and parameters, render into a
// new file, and report. Any failure leaves no output file behind and no partly written target;
// a refusal before the render is its one line.

#include <cstdint>
#include <string>

#include "engine/sample_rate.h"
#include "tools/mvrender/command_line.h"
#include "tools/mvrender/plugin_locations.h"
#include "tools/mvrender/render_loop.h"

// The rate Mulchvoice's DLL is tuned for, whatever the host says.
constexpr uint32_t kDllSampleRate = static_cast<uint32_t>(kDefaultSampleRate);

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

// False with a one-line reason; an empty one when the DLL's host gave it itself.
bool runRender(const CommandLine& options, const PluginLocations& where, RenderConsole& console,
               RenderResult& result, std::string& error);
