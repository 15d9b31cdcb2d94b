#pragma once
// A minimal host for 32-bit Windows tests and tools: it loads a plug-in library, calls its `main`
// with a host callback and from then on uses only the record `main` returns, as a real host does.
//
//   testhost::PluginHost host;
//   std::string error;
//   if (!host.load(testhost::defaultPluginPath(), &error)) { ... error ... }
//   AEffect* effect = host.instantiate();      // the notice box is answered automatically
//   effect->setParameter(effect, 0, 0.5f);
//   host.notices();                             // caption and text of every box shown
//   host.automations();                         // every audioMasterAutomate received
//   host.close(effect);                         // effClose; answers what the plug-in answered
//   host.unload();                              // also done by the destructor
//
// Callback: answers audioMasterVersion with a configurable number (1 unless set; 0 makes a
// well-behaved plug-in refuse to instantiate), records every call, answers everything else with
// 0. It finds the host an effect belongs to through a process-wide registry; while `main` runs
// (when the effect is still unknown or null) through the thread that is instantiating.
//
// Notice boxes: while `main` runs, a thread-local CBT hook answers every dialog box the
// plug-in opens on that thread with OK, after recording its caption and text. Should the hook
// miss one, a watchdog closes it after a few seconds, so `instantiate` always returns.
//
// Threads: `instantiate`, `close`, `load` and `unload` belong to one thread (the host's
// user-interface thread). The callback may be called from any thread; the recorded calls are
// guarded by a lock, and the accessors return copies.

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/aeffect.h"

namespace testhost {

// One call the plug-in made to the host callback.
struct HostCall {
  AEffect* effect;  // null while `main` asks for the version
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

// One audioMasterAutomate notification: the parameter index and its new value (opt).
struct Automation {
  AEffect* effect;
  int32_t index;
  float value;
};

// A dialog box shown while the plug-in's `main` ran.
struct Notice {
  std::string caption;
  std::string text;
};

using PluginMain = AEffect*(VSTCALL*)(audioMasterCallback audioMaster);

class PluginHost {
 public:
  PluginHost();
  ~PluginHost();  // unload()

  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Loads the library and finds its exported `main`. On failure returns false, leaves nothing
  // loaded and, when `error` is given, stores a one-line reason there.
  bool load(const std::string& dllPath, std::string* error);
  bool isLoaded() const { return module_ != nullptr; }
  HMODULE module() const { return module_; }
  PluginMain mainEntry() const { return main_; }

  // Calls `main` with this host's callback and returns its answer (null when the plug-in
  // refuses). A returned effect stays registered with this host until close().
  AEffect* instantiate();

  // Sends effClose through the effect's dispatcher and forgets the effect; returns the answer.
  int32_t close(AEffect* effect);

  // Closes every effect still open, then frees the library.
  void unload();

  // What the callback answers to audioMasterVersion from now on.
  void setVersionAnswer(int32_t version);

  std::vector<Notice> notices() const;
  std::vector<HostCall> calls() const;
  std::vector<Automation> automations() const;
  void clearRecords();  // forgets notices, calls and automations

  // The callback handed to `main`. Public so that a test can pass it to `main` itself.
  static intptr_t VSTCALL callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                                  void* ptr, float opt);

 private:
  int32_t answer(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, float opt);
  void addNotice(const Notice& notice);

  HMODULE module_ = nullptr;
  PluginMain main_ = nullptr;
  std::vector<AEffect*> open_;

  mutable std::mutex mutex_;
  int32_t versionAnswer_ = 1;
  std::vector<Notice> notices_;
  std::vector<HostCall> calls_;
};

// The plug-in a test should load: the path in the environment variable MULCHVOICE_DLL when it
// is set, otherwise MULCHVOICE.dll in the directory of the running program.
std::string defaultPluginPath();

}  // namespace testhost
