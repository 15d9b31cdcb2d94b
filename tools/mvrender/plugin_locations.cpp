#include "tools/mvrender/plugin_locations.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr const char* kBundleBesideProgram = "/lv2-bundles/mulchvoice.lv2/";

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

PluginLocations locatePlugins() {
  PluginLocations where;
  char program[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  if (length > 0) {
    const std::string path(program, static_cast<size_t>(length));
    const std::string bundle = path.substr(0, path.find_last_of('/')) + kBundleBesideProgram;
    if (access((bundle + "manifest.ttl").c_str(), R_OK) == 0) where.lv2Bundle = bundle;
  }
  where.dllHost = environment("MULCHVOICE_DLL_HOST");
  where.wineEnv = environment("MULCHVOICE_WINE_ENV");
  return where;
}
