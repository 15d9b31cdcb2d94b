#include "tools/mvrender/dll_processor.h"

#include <vector>

bool DllProcessor::hostFailed(std::string& error) {
  error = host_.failure();
  return false;
}

bool DllProcessor::open(const PluginLocations& where, const CommandLine& options,
                        uint32_t sampleRate, std::string& error) {
  std::string dll;
  if (!windowsPathOfDll(options.dllPath, dll, error)) return false;
  std::vector<std::string> arguments = {"stream", "--dll", dll, "--rate", std::to_string(sampleRate),
                                        "--block-size", std::to_string(options.blockSize)};
  if (options.mono) arguments.push_back("--mono");
  appendSettings(options, arguments);
  if (!host_.start(where, arguments, true, error)) return false;
  if (!readFully(host_.fromHost(), &greeting_, sizeof greeting_)) return hostFailed(error);
  if (greeting_.magic != kStreamMagic || greeting_.outputChannels < 1 ||
      greeting_.outputChannels > 2) {
    greeting_ = StreamGreeting();
    host_.wait();
    error = "the DLL's host under Wine did not answer as expected";
    return false;
  }
  capacity_ = chunkFrames(options.blockSize);
  return true;
}

bool DllProcessor::process(const float* speech, const float* carrier, float* const* outputs,
                           int32_t frames, std::string& error) {
  if (frames < 1 || frames > capacity_) {
    error = "bad chunk of " + std::to_string(frames) + " frames";
    return false;
  }
  const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
  std::FILE* out = host_.toHost();
  if (!writeFully(out, &frames, sizeof frames) || !writeFully(out, speech, bytes) ||
      !writeFully(out, carrier, bytes) || std::fflush(out) != 0)
    return hostFailed(error);
  for (int32_t c = 0; c < greeting_.outputChannels; ++c)
    if (!readFully(host_.fromHost(), outputs[c], bytes)) return hostFailed(error);
  return true;
}

bool DllProcessor::finish(std::string& error) {
  const int32_t end = 0;
  if (host_.toHost() == nullptr) return true;  // finished before
  const bool sent = writeFully(host_.toHost(), &end, sizeof end) && std::fflush(host_.toHost()) == 0;
  if (sent && host_.wait() == 0) return true;
  return hostFailed(error);
}
