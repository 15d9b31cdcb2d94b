#include "tools/mvrender/dll_host.h"

#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

// The watchdog's limit for a host: a day, since a render may be long.
constexpr const char* kHostTimeoutSeconds = "86400";

std::string directoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void closePipe(int ends[2]) {
  for (int i = 0; i < 2; ++i)
    if (ends[i] >= 0) ::close(ends[i]);
}

}  // namespace

DllHost::~DllHost() { wait(); }

bool DllHost::start(const PluginLocations& where, const std::vector<std::string>& arguments,
                    bool piped, std::string& error) {
  if (where.dllHost.empty() || where.wineEnv.empty()) {
    error = "the DLL route runs the DLL under Wine: give the command as tools/mulchvoice, which "
            "starts Wine for it";
    return false;
  }
  if (access(where.dllHost.c_str(), R_OK) != 0) {
    error = where.dllHost + " is missing: build the Windows tree " + directoryOf(where.dllHost);
    return false;
  }
  std::vector<std::string> words = {"bash", where.wineEnv, "run", directoryOf(where.dllHost),
                                    "--timeout", kHostTimeoutSeconds, where.dllHost};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  int input[2] = {-1, -1}, output[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (piped) {
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
      error = std::string("cannot start the DLL's host: ") + std::strerror(errno);
      closePipe(input);
      closePipe(output);
      posix_spawn_file_actions_destroy(&actions);
      return false;
    }
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  }
  const int failed = posix_spawnp(&pid_, "bash", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    pid_ = -1;
    closePipe(input);
    closePipe(output);
    error = std::string("cannot start the DLL's host: ") + std::strerror(failed);
    return false;
  }
  if (piped) {
    ::close(input[0]);
    ::close(output[1]);
    toHost_ = fdopen(input[1], "wb");
    fromHost_ = fdopen(output[0], "rb");
  }
  return true;
}

int DllHost::wait() {
  if (toHost_ != nullptr) std::fclose(toHost_);
  if (fromHost_ != nullptr) std::fclose(fromHost_);
  toHost_ = fromHost_ = nullptr;
  if (pid_ < 0) return exitCode_;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exitCode_;
}

std::string DllHost::failure() {
  const int code = wait();
  if (hostGaveItsReason(code)) return std::string();
  return "the DLL's host under Wine ended unexpectedly (exit code " + std::to_string(code) + ")";
}

std::string windowsPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return "Z:" + path;
  char here[PATH_MAX];
  return "Z:" + std::string(getcwd(here, sizeof here) != nullptr ? here : "") + "/" + path;
}

bool windowsPathOfDll(const std::string& path, std::string& windowsDll, std::string& error) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) {
    error = path + ": no such file";
    return false;
  }
  windowsDll = windowsPath(resolved);
  free(resolved);
  return true;
}

void appendSettings(const CommandLine& options, std::vector<std::string>& arguments) {
  if (options.program >= 0) {
    arguments.push_back("--program");
    arguments.push_back(std::to_string(options.program));
  }
  for (const ParameterSetting& setting : options.parameters) {
    char value[32];
    std::snprintf(value, sizeof value, "%.9g", static_cast<double>(setting.value));  // exact
    arguments.push_back("--param");
    arguments.push_back(setting.name + "=" + value);
  }
}

bool runHostCommand(const PluginLocations& where, const CommandLine& options, std::string& error) {
  std::vector<std::string> arguments = {options.command == Command::kInfo ? "info" : "screenshot"};
  if (!options.dllPath.empty()) {
    std::string dll;
    if (!windowsPathOfDll(options.dllPath, dll, error)) return false;
    arguments.push_back("--dll");
    arguments.push_back(dll);
  }
  if (options.command == Command::kScreenshot) {
    arguments.push_back("--output");
    arguments.push_back(windowsPath(options.outputPath));
    appendSettings(options, arguments);
  }
  DllHost host;
  if (!host.start(where, arguments, false, error)) return false;
  if (host.wait() == 0) return true;
  error = host.failure();
  return false;
}
