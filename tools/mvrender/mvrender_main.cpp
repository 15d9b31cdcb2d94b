// mvrender, the offline host of Mulchvoice (run as tools/mulchvoice): vocodes audio files, reads
// and writes them through libsndfile, and reports what a host sees of the plug-in. It renders
// natively through the LV2 plug-in, or with --dll through a VST 1.0 effect DLL under Wine,
// whose Windows side also takes the editor's picture.
//
//   mvrender render --speech VOICE.wav --output OUT.wav [options]
//   mvrender info [--dll FILE]
//   mvrender screenshot --output EDITOR.png [--dll FILE]
//   mvrender help
//
// Where it finds the plug-ins: tools/mvrender/plugin_locations.h.
//
// Exit codes: 0 done, 1 failed (one line on stderr says why), 2 a mistake on the command line.

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/mvrender/command_line.h"
#include "tools/mvrender/dll_host.h"
#include "tools/mvrender/lv2_info.h"
#include "tools/mvrender/lv2_processor.h"
#include "tools/mvrender/plugin_locations.h"
#include "tools/mvrender/progress_text.h"
#include "tools/mvrender/render_command.h"

namespace {

constexpr const char* kName = "mulchvoice";

void printError(const std::string& message) {
  if (message.empty()) return;  // the DLL's host has said it
  std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
  std::fflush(stderr);
}

// Ctrl-C, a closed terminal or a polite kill: the render stops after its current chunk and
// removes its unfinished file, instead of the process dying with it on disk.
std::atomic<bool> interrupted{false};

void onSignal(int) { interrupted = true; }

void catchSignals() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
  // A host that has ended makes a write to its pipe fail, not this program.
  signal(SIGPIPE, SIG_IGN);
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
  return isatty(STDERR_FILENO) != 0;
}

bool describeLv2(const PluginLocations& where, std::string& error) {
  std::unique_ptr<lv2host::Plugin> plugin;
  if (!loadLv2Plugin(where.lv2Bundle, plugin, error)) return false;
  std::fputs(describeLv2Plugin(*plugin).c_str(), stdout);
  return true;
}

int runCommand(const CommandLine& options) {
  const PluginLocations where = locatePlugins();
  std::string error;
  switch (options.command) {
    case Command::kRender: {
      ConsoleOutput console(showProgress(options.progress));
      RenderResult result;
      const bool rendered = runRender(options, where, console, result, error);
      console.finish();
      if (!rendered && interrupted) error = "interrupted";  // whatever the DLL's host said
      if (!rendered) break;
      std::printf("%s\n", result.summaryLine.c_str());
      return 0;
    }
    case Command::kInfo:
      if (options.dllPath.empty() ? describeLv2(where, error) : runHostCommand(where, options, error))
        return 0;
      break;
    case Command::kScreenshot:
      if (!runHostCommand(where, options, error)) break;
      std::printf("%s: the editor's picture\n", options.outputPath.c_str());
      return 0;
    case Command::kHelp:
      return 0;
    case Command::kStream:
      error = "stream is the command of the DLL's host, not of this program: try 'help'";
      printError(error);
      return 2;
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
  catchSignals();
  const int code = runCommand(options);
  std::fflush(stdout);
  return code;
}
