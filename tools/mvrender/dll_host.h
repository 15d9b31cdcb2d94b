#pragma once
// The DLL route's Windows side as the native program sees it: mvdllhost.exe of a Windows build
// tree, run under Wine by tools/wine-env.sh (in a Wine session of its own, or in the one of the
// test that runs us), either with our standard input and output (`info`, `screenshot`) or with
// pipes for the samples (`render`, tools/mvrender/block_stream.h). It shares our standard error,
// where it shows the notice box it answered and says itself why it failed, exiting with 1 or 2.

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/mvrender/command_line.h"
#include "tools/mvrender/plugin_locations.h"

// The exit code by which the host says that it has given its reason itself.
inline bool hostGaveItsReason(int exitCode) { return exitCode == 1 || exitCode == 2; }

class DllHost {
 public:
  DllHost() = default;
  ~DllHost();  // closes the pipes and waits for the host's end
  DllHost(const DllHost&) = delete;
  DllHost& operator=(const DllHost&) = delete;

  // Starts the host with `arguments`; with `piped`, its standard input and output are pipes
  // (toHost, fromHost).
  bool start(const PluginLocations& where, const std::vector<std::string>& arguments, bool piped,
             std::string& error);
  std::FILE* toHost() const { return toHost_; }
  std::FILE* fromHost() const { return fromHost_; }

  // Closes the pipes and waits for the host's end: its exit code, 128 + the signal that ended
  // it, or -1 when it was not started.
  int wait();

  // After a failure of the host: empty when it gave its reason itself, else what happened.
  std::string failure();

 private:
  pid_t pid_ = -1;
  int exitCode_ = -1;
  std::FILE* toHost_ = nullptr;
  std::FILE* fromHost_ = nullptr;
};

// An absolute path as Windows programs under Wine name it: on the drive Z:, the root.
std::string windowsPath(const std::string& path);

// The --dll file as the host loads it; false with a one-line reason when there is no such file.
bool windowsPathOfDll(const std::string& path, std::string& windowsDll, std::string& error);

// Runs `info` or `screenshot` on the host with our standard output; false with a reason, empty
// when the host gave it.
bool runHostCommand(const PluginLocations& where, const CommandLine& options, std::string& error);

// The --program and --param settings as the host's arguments.
void appendSettings(const CommandLine& options, std::vector<std::string>& arguments);
