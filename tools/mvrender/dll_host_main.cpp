// mvdllhost.exe, the Windows side of the offline host's DLL route (tools/mvrender/dll_host.h),
// run under Wine: loads a VST 1.0 effect DLL the way a host does, answers its notice box, and
// then renders the samples the native program streams to it (tools/mvrender/block_stream.h),
// reports what a host sees of it, or saves a picture of its editor.
//
//   mvdllhost stream --rate HZ [--block-size N] [--mono] [--program N] [--param NAME=VALUE...]
//   mvdllhost info
//   mvdllhost screenshot --output EDITOR.png [--program N] [--param NAME=VALUE...]
//
// Each takes --dll FILE (default: MULCHVOICE.dll beside this program). Exit codes: 0 done, 1
// failed (one line on stderr says why, or the stream's input ended early), 2 a mistake on the
// command line.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/mvrender/aeffect_processor.h"
#include "tools/mvrender/block_stream.h"
#include "tools/mvrender/command_line.h"
#include "tools/mvrender/editor_screenshot.h"
#include "tools/mvrender/effect_info.h"
#include "tools/mvrender/effect_settings.h"
#include "tools/mvrender/file_system.h"
#include "tools/testhost/plugin_host.h"

namespace {

constexpr const char* kName = "mulchvoice";

void printError(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
  std::fflush(stderr);
}

// What `main` handed out must be an effect record before any of its entries is called.
bool checkRecord(AEffect* effect, const std::string& path, std::string& error) {
  if (IsBadReadPtr(effect, sizeof(AEffect)) || effect->magic != kEffectMagic) {
    error = path + ": not a VST 1.0 effect (its main returned no effect record with the magic 'VstP')";
    return false;
  }
  if (effect->dispatcher == nullptr || effect->setParameter == nullptr ||
      effect->getParameter == nullptr ||
      (effect->process == nullptr && effect->processReplacing == nullptr)) {
    error = path + ": not a usable VST 1.0 effect (its record lacks entry functions)";
    return false;
  }
  return true;
}

bool loadEffect(testhost::PluginHost& host, const std::string& path, AEffect*& effect,
                bool& recordBroken, std::string& error) {
  if (!fileExists(path)) {
    error = path + ": no such file";
    return false;
  }
  std::string reason;
  if (!host.load(path, &reason)) {
    error = reason.find("exports no function named main") != std::string::npos
                ? path + ": not a VST 1.0 effect (it exports no function named main)"
                : reason;
    return false;
  }
  effect = host.instantiate();
  for (const testhost::Notice& notice : host.notices())
    std::fprintf(stderr, "notice shown: %s: %s\n", notice.caption.c_str(), notice.text.c_str());
  if (effect == nullptr) {
    error = path + ": its main returned no effect (null): the plug-in refused to start";
    return false;
  }
  if (!checkRecord(effect, path, error)) {
    recordBroken = true;
    return false;
  }
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
  return true;
}

// The render's samples, a chunk at a time, until the native program sends the end.
bool stream(AEffect* effect, const CommandLine& options, std::string& error) {
  if (!checkEffectChannels(effect, error) || !applyEffectSettings(effect, options, error))
    return false;
  AEffectProcessor processor(effect, options.blockSize, static_cast<float>(options.sampleRate),
                             outputChannelsFor(effect, options.mono));
  if (!processor.start(error)) return false;
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  StreamGreeting greeting;
  greeting.inputs = effect->numInputs;
  greeting.outputChannels = processor.outputChannels();
  if (!writeFully(stdout, &greeting, sizeof greeting) || std::fflush(stdout) != 0) return false;

  const int32_t capacity = chunkFrames(options.blockSize);
  std::vector<float> speech(capacity), carrier(capacity), out1(capacity), out2(capacity);
  float* outputs[2] = {out1.data(), out2.data()};
  for (;;) {
    int32_t frames = 0;
    if (!readFully(stdin, &frames, sizeof frames)) return false;  // the native side is gone
    if (frames == 0) return processor.finish(error);
    if (frames < 0 || frames > capacity) {
      error = "bad chunk of " + std::to_string(frames) + " frames on the stream";
      return false;
    }
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    if (!readFully(stdin, speech.data(), bytes) || !readFully(stdin, carrier.data(), bytes) ||
        !processor.process(speech.data(), carrier.data(), outputs, frames, error))
      return false;
    for (int32_t c = 0; c < greeting.outputChannels; ++c)
      if (!writeFully(stdout, outputs[c], bytes)) return false;
    if (std::fflush(stdout) != 0) return false;
  }
}

bool runCommand(const CommandLine& options, AEffect* effect, const std::string& dllPath,
                std::string& error) {
  switch (options.command) {
    case Command::kStream:
      return stream(effect, options, error);
    case Command::kInfo:
      std::printf("plug-in        %s\n%s", dllPath.c_str(), describeEffect(effect).c_str());
      return true;
    case Command::kScreenshot:
      return applyEffectSettings(effect, options, error) &&
             saveEditorScreenshot(effect, options.outputPath, error);
    case Command::kRender:
    case Command::kHelp:
      error = "the DLL's host streams, shows and pictures; the native program renders";
      return false;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine options;
  std::string error;
  if (!parseCommandLine(args, options, error)) {
    printError(error);
    return 2;
  }
  const std::string dllPath = options.dllPath.empty() ? testhost::defaultPluginPath() : options.dllPath;

  // A record that is no effect must never be closed through its garbage entries, so the host
  // that would close it on destruction is let go with the process instead.
  auto* host = new testhost::PluginHost;
  AEffect* effect = nullptr;
  bool recordBroken = false;
  int code = 1;
  if (loadEffect(*host, dllPath, effect, recordBroken, error)) {
    if (runCommand(options, effect, dllPath, error)) code = 0;
    host->close(effect);
  }
  if (code != 0 && !error.empty()) printError(error);
  std::fflush(stdout);
  if (!recordBroken) delete host;
  return code;
}
