// The LV2 plug-in's entry: `lv2_descriptor`, the binary's only exported symbol, hands the host
// the descriptor, whose C functions adapt the host's calls to a VocoderPlugin. Every function
// copes with a null handle, so a confused host gets nothing worse than silence.

#include <lv2/core/lv2.h>

#include <new>

#include "engine/sample_rate.h"
#include "lv2/ports.h"
#include "lv2/vocoder_plugin.h"

namespace {

VocoderPlugin* plugin(LV2_Handle handle) { return static_cast<VocoderPlugin*>(handle); }

// Instantiation thread. A rate the engine is not tuned for, or a failed allocation, returns
// null; the check comes first, so a refused rate allocates nothing. The plug-in needs no
// feature and reads no file of its bundle.
LV2_Handle instantiate(const LV2_Descriptor*, double sampleRate, const char*,
                       const LV2_Feature* const*) {
  if (!isSupportedSampleRate(sampleRate)) return nullptr;
  return new (std::nothrow) VocoderPlugin(static_cast<float>(sampleRate));
}

// Audio thread.
void connectPort(LV2_Handle handle, uint32_t port, void* data) {
  if (handle != nullptr) plugin(handle)->connect(port, data);
}

// Instantiation thread.
void activate(LV2_Handle handle) {
  if (handle != nullptr) plugin(handle)->activate();
}

// Audio thread.
void run(LV2_Handle handle, uint32_t frames) {
  if (handle != nullptr) plugin(handle)->run(frames);
}

// Instantiation thread.
void cleanup(LV2_Handle handle) { delete plugin(handle); }

const void* extensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    kPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
