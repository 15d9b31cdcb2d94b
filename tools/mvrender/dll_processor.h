#pragma once
// The DLL route: a VST 1.0 effect DLL, 32 or 64-bit, loaded under Wine by the Windows host,
// which gets the samples a chunk at a time over a pipe and sends the effect's outputs back
// (tools/mvrender/block_stream.h). The files stay on this side.

#include <cstdint>
#include <string>

#include "tools/mvrender/block_stream.h"
#include "tools/mvrender/command_line.h"
#include "tools/mvrender/dll_host.h"
#include "tools/mvrender/render_loop.h"

class DllProcessor : public BlockProcessor {
 public:
  // Starts the host for a render at `sampleRate` with the settings of `options` and waits until
  // it has the effect open and set. On failure `error` is empty when the host gave its reason.
  bool open(const PluginLocations& where, const CommandLine& options, uint32_t sampleRate,
            std::string& error);

  // The effect's inputs, as it declares them.
  int32_t inputs() const { return greeting_.inputs; }

  int32_t outputChannels() const override { return greeting_.outputChannels; }
  bool process(const float* speech, const float* carrier, float* const* outputs, int32_t frames,
               std::string& error) override;
  // Ends the stream; true when the host closed the effect and ended well.
  bool finish(std::string& error) override;

 private:
  bool hostFailed(std::string& error);

  DllHost host_;
  StreamGreeting greeting_;
  int32_t capacity_ = 0;
};
