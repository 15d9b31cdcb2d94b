#include "tools/mvrender/lv2_processor.h"

#include <algorithm>
#include <new>

#include "engine/sample_rate.h"
#include "lv2/ports.h"
#include "tools/mvrender/parameter_names.h"
#include "vst/vocoder_program.h"

namespace {

constexpr size_t kTwoChannels = 2;

// Each --param setting as the index of its parameter; the first unknown name fails.
bool resolveSettings(const lv2host::Plugin& plugin, const CommandLine& options,
                     std::vector<int32_t>& indices, std::string& error) {
  std::vector<std::string> names;
  for (const uint32_t port : parameterPorts(plugin)) names.push_back(plugin.name(port));
  for (const ParameterSetting& setting : options.parameters) {
    int32_t index = 0;
    if (!resolveParameter(setting.name, names, index, error)) return false;
    indices.push_back(index);
  }
  if (options.program >= kNumPrograms) {
    error = "program " + std::to_string(options.program) + " does not exist: the plug-in has " +
            std::to_string(kNumPrograms) + " programs (0 to " + std::to_string(kNumPrograms - 1) +
            ")";
    return false;
  }
  return true;
}

}  // namespace

std::vector<uint32_t> parameterPorts(const lv2host::Plugin& plugin) {
  std::vector<uint32_t> ports;
  for (const uint32_t port : plugin.ports().controls)
    if (plugin.is(port, LILV_URI_INPUT_PORT)) ports.push_back(port);
  return ports;
}

bool loadLv2Plugin(const std::string& bundleDirectory, std::unique_ptr<lv2host::Plugin>& plugin,
                   std::string& error) {
  plugin.reset(new (std::nothrow) lv2host::Plugin(kPluginUri, bundleDirectory));
  if (!plugin) {
    error = "not enough memory";
    return false;
  }
  if (plugin->get() == nullptr) {
    error = "cannot load the LV2 plug-in: " + plugin->error() +
            " (build it: cmake --build build/native -j2, or install it)";
    return false;
  }
  if (!plugin->error().empty()) {
    error = "cannot load the LV2 plug-in: " + plugin->error();
    return false;
  }
  if (plugin->ports().audioInputs.size() != kTwoChannels ||
      plugin->ports().audioOutputs.size() != kTwoChannels) {
    error = "the LV2 plug-in " + std::string(kPluginUri) + " has not two inputs and two outputs";
    return false;
  }
  return true;
}

bool Lv2Processor::open(const std::string& bundleDirectory, const CommandLine& options,
                        uint32_t sampleRate, std::string& error) {
  if (!isSupportedSampleRate(sampleRate)) {
    error = "the input is " + std::to_string(sampleRate) + " Hz, but the plug-in runs at " +
            std::to_string(static_cast<int>(kLowestSampleRate)) + " to " +
            std::to_string(static_cast<int>(kHighestSampleRate)) +
            " Hz: resample it (e.g. sox IN.wav -r 44100 OUT.wav)";
    return false;
  }
  if (!loadLv2Plugin(bundleDirectory, plugin_, error)) return false;
  std::vector<int32_t> indices;
  if (!resolveSettings(*plugin_, options, indices, error)) return false;

  instance_.reset(new (std::nothrow) lv2host::Instance(*plugin_, sampleRate));
  if (!instance_ || instance_->get() == nullptr) {
    error = "the LV2 plug-in refused to start at " + std::to_string(sampleRate) + " Hz";
    return false;
  }
  const std::vector<uint32_t> ports = parameterPorts(*plugin_);
  for (size_t i = 0; i < indices.size(); ++i)
    instance_->control(ports[static_cast<size_t>(indices[i])]) = options.parameters[i].value;
  blockSize_ = options.blockSize;
  outputChannels_ = options.mono ? 1 : 2;
  unusedOutput_.assign(static_cast<size_t>(blockSize_), 0.0f);
  return true;
}

bool Lv2Processor::process(const float* speech, const float* carrier, float* const* outputs,
                           int32_t frames, std::string& error) {
  if (!instance_) {
    error = "the plug-in is not running";
    return false;
  }
  for (int32_t done = 0; done < frames;) {
    const int32_t n = std::min(blockSize_, frames - done);
    const float* in[kTwoChannels] = {speech + done, carrier + done};
    float* out[kTwoChannels] = {outputs[0] + done,
                                outputChannels_ == 2 ? outputs[1] + done : unusedOutput_.data()};
    instance_->run(in, out, static_cast<uint32_t>(n));
    done += n;
  }
  return true;
}
