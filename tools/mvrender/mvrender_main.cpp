// mvrender.exe, the offline host of Mulchvoice (run on Linux through tools/mulchvoice): loads a
// VST 1.0 effect DLL the way a host does, answers its notice box, and then renders audio files
// through it, reports what a host sees of it, or saves a picture of its editor.
//
//   mvrender render --speech VOICE.wav --output OUT.wav [options]
//   mvrender info
//   mvrender screenshot --output EDITOR.png
//   mvrender help
//
// Exit codes: 0 done, 1 failed (one line on stderr says why), 2 a mistake on the command line.

#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/mvrender/command_line.h"
#include "tools/mvrender/editor_screenshot.h"
#include "tools/mvrender/effect_info.h"
#include "tools/mvrender/effect_settings.h"
#include "tools/mvrender/file_system.h"
#include "tools/mvrender/progress_text.h"
#include "tools/mvrender/render_command.h"
#include "tools/testhost/plugin_host.h"

namespace {

constexpr const char* kName = "mulchvoice";

void printError(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
  std::fflush(stderr);
}

// Ctrl-C, Ctrl-Break or a closed console: the render stops after its current block and removes
// its unfinished file, instead of the process dying with it on disk.
std::atomic<bool> interrupted{false};

BOOL WINAPI onConsoleSignal(DWORD) {
  interrupted = true;
  return TRUE;
}

class ConsoleOutput : public RenderConsole, public RenderProgress {
 public:
  explicit ConsoleOutput(bool showProgress) : bar_(stderr), showProgress_(showProgress) {}
  void note(const std::string& line) override {
    bar_.finish();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
  }
  RenderProgress* progress() override { return this; }
  void progress(int64_t framesDone, int64_t framesTotal) override {
    if (showProgress_) bar_.progress(framesDone, framesTotal);
  }
  bool cancelled() override { return interrupted; }
  void finish() { bar_.finish(); }

 private:
  TerminalProgress bar_;
  bool showProgress_;
};

bool showProgress(ProgressMode mode) {
  if (mode != ProgressMode::kAuto) return mode == ProgressMode::kAlways;
  return _isatty(_fileno(stderr)) != 0;
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

int runCommand(const CommandLine& options, AEffect* effect, const std::string& dllPath) {
  std::string error;
  switch (options.command) {
    case Command::kRender: {
      ConsoleOutput console(showProgress(options.progress));
      RenderResult result;
      const bool rendered = runRender(effect, options, console, result, error);
      console.finish();
      if (!rendered) break;
      std::printf("%s\n", result.summaryLine.c_str());
      return 0;
    }
    case Command::kInfo:
      std::printf("plug-in        %s\n%s", dllPath.c_str(), describeEffect(effect).c_str());
      return 0;
    case Command::kScreenshot:
      if (!applyEffectSettings(effect, options, error)) break;
      if (!saveEditorScreenshot(effect, options.outputPath, error)) break;
      std::printf("%s: the editor's picture\n", options.outputPath.c_str());
      return 0;
    case Command::kHelp:
      return 0;
  }
  printError(error);
  return 1;
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
  if (options.command == Command::kHelp) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  SetConsoleCtrlHandler(onConsoleSignal, TRUE);
  const std::string dllPath = options.dllPath.empty() ? testhost::defaultPluginPath() : options.dllPath;

  // A record that is no effect must never be closed through its garbage entries, so the host
  // that would close it on destruction is let go with the process instead.
  auto* host = new testhost::PluginHost;
  AEffect* effect = nullptr;
  bool recordBroken = false;
  int code = 1;
  if (loadEffect(*host, dllPath, effect, recordBroken, error)) {
    code = runCommand(options, effect, dllPath);
    host->close(effect);
  } else {
    printError(error);
  }
  std::fflush(stdout);
  if (!recordBroken) delete host;
  return code;
}
