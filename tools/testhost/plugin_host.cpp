#include "tools/testhost/plugin_host.h"

#include <algorithm>
#include <map>

#include "tools/testhost/notice_dismisser.h"

namespace testhost {

namespace {

// Which host each open effect belongs to, for the callback.
std::mutex registryMutex;
std::map<AEffect*, PluginHost*> registry;

// The host whose `main` call is running on this thread: the callback's answer when the effect
// is null (the version question) or not yet registered (calls from the effect's constructor).
thread_local PluginHost* instantiatingHost = nullptr;

PluginHost* hostOf(AEffect* effect) {
  if (effect != nullptr) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto found = registry.find(effect);
    if (found != registry.end()) return found->second;
  }
  return instantiatingHost;
}

std::string lastErrorText() {
  DWORD code = GetLastError();
  char buffer[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, buffer, sizeof buffer, nullptr);
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                        buffer[length - 1] == ' ' || buffer[length - 1] == '.')) {
    buffer[--length] = '\0';
  }
  return "error " + std::to_string(code) + (length > 0 ? std::string(": ") + buffer : "");
}

}  // namespace

PluginHost::PluginHost() = default;

PluginHost::~PluginHost() { unload(); }

bool PluginHost::load(const std::string& dllPath, std::string* error) {
  unload();
  HMODULE module = LoadLibraryA(dllPath.c_str());
  if (module == nullptr) {
    if (error != nullptr) *error = "cannot load " + dllPath + " (" + lastErrorText() + ")";
    return false;
  }
  auto entry = reinterpret_cast<PluginMain>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
  if (entry == nullptr) {
    FreeLibrary(module);
    if (error != nullptr) *error = dllPath + " exports no function named main";
    return false;
  }
  module_ = module;
  main_ = entry;
  return true;
}

AEffect* PluginHost::instantiate() {
  if (main_ == nullptr) return nullptr;
  PluginHost* outer = instantiatingHost;
  instantiatingHost = this;
  AEffect* effect = nullptr;
  {
    NoticeDismisser dismisser([this](const Notice& notice) { addNotice(notice); });
    effect = main_(&PluginHost::callback);
  }
  instantiatingHost = outer;
  if (effect != nullptr) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry[effect] = this;
    open_.push_back(effect);
  }
  return effect;
}

int32_t PluginHost::close(AEffect* effect) {
  if (effect == nullptr) return 0;
  int32_t answer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(effect);
  }
  open_.erase(std::remove(open_.begin(), open_.end(), effect), open_.end());
  return answer;
}

void PluginHost::unload() {
  while (!open_.empty()) close(open_.back());
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  main_ = nullptr;
}

void PluginHost::setVersionAnswer(int32_t version) {
  std::lock_guard<std::mutex> lock(mutex_);
  versionAnswer_ = version;
}

std::vector<Notice> PluginHost::notices() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notices_;
}

std::vector<HostCall> PluginHost::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<Automation> PluginHost::automations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Automation> result;
  for (const HostCall& call : calls_) {
    if (call.opcode == audioMasterAutomate) result.push_back({call.effect, call.index, call.opt});
  }
  return result;
}

void PluginHost::clearRecords() {
  std::lock_guard<std::mutex> lock(mutex_);
  notices_.clear();
  calls_.clear();
}

intptr_t VSTCALL PluginHost::callback(AEffect* effect, int32_t opcode, int32_t index,
                                      intptr_t value, void*, float opt) {
  PluginHost* host = hostOf(effect);
  return host != nullptr ? host->answer(effect, opcode, index, value, opt) : 0;
}

int32_t PluginHost::answer(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                           float opt) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back({effect, opcode, index, value, opt});
  return opcode == audioMasterVersion ? versionAnswer_ : 0;
}

void PluginHost::addNotice(const Notice& notice) {
  std::lock_guard<std::mutex> lock(mutex_);
  notices_.push_back(notice);
}

std::string defaultPluginPath() {
  char buffer[MAX_PATH * 2] = {};
  DWORD length = GetEnvironmentVariableA("MULCHVOICE_DLL", buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) return buffer;
  length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, length < sizeof buffer ? length : 0);
  size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "MULCHVOICE.dll";
}

}  // namespace testhost
