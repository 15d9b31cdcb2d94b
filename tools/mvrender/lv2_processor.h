#pragma once
// The native route: Mulchvoice's LV2 plug-in, loaded through lilv as Linux hosts load it (from
// the build tree's bundle, or an installed one on the LV2 path) and instantiated at the file's
// own rate, which it is tuned for. Its parameters are its control ports, named by their port
// names, the editor's labels; it has no programs of its own, and the DLL's two programs both
// start at the controls' defaults, so programs 0 and 1 are those.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/lv2host/lv2_host.h"
#include "tools/mvrender/command_line.h"
#include "tools/mvrender/render_loop.h"

class Lv2Processor : public BlockProcessor {
 public:
  // Loads the plug-in from `bundleDirectory` (or the LV2 path when empty) and runs an instance
  // at `sampleRate` with the program and parameters of `options`. Every setting is checked
  // before the plug-in is loaded.
  bool open(const std::string& bundleDirectory, const CommandLine& options, uint32_t sampleRate,
            std::string& error);

  int32_t outputChannels() const override { return outputChannels_; }
  bool process(const float* speech, const float* carrier, float* const* outputs, int32_t frames,
               std::string& error) override;

  const lv2host::Plugin* plugin() const { return plugin_.get(); }

 private:
  std::unique_ptr<lv2host::Plugin> plugin_;
  std::unique_ptr<lv2host::Instance> instance_;  // destroyed before the plug-in
  int32_t blockSize_ = 0;
  int32_t outputChannels_ = 0;
  std::vector<float> unusedOutput_;
};

// Loads the plug-in alone, for `info`; false with a one-line reason.
bool loadLv2Plugin(const std::string& bundleDirectory, std::unique_ptr<lv2host::Plugin>& plugin,
                   std::string& error);

// The control input ports, in index order: the parameters.
std::vector<uint32_t> parameterPorts(const lv2host::Plugin& plugin);
