#include "tools/mvrender/lv2_info.h"

#include <cstdio>

#include "engine/sample_rate.h"
#include "tools/mvrender/lv2_processor.h"

namespace {

std::string nodeText(LilvNode* node) {
  std::string text = node != nullptr ? lilv_node_as_string(node) : "";
  lilv_node_free(node);
  return text;
}

std::string filePath(const LilvNode* uri) {
  char* path = uri != nullptr ? lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr) : nullptr;
  const std::string text = path != nullptr ? path : "";
  lilv_free(path);
  return text;
}

std::string audioPorts(const lv2host::Plugin& plugin, const std::vector<uint32_t>& ports) {
  std::string text = std::to_string(ports.size());
  for (size_t i = 0; i < ports.size(); ++i)
    text += (i == 0 ? ": " : ", ") + plugin.symbol(ports[i]) + " \"" + plugin.name(ports[i]) + "\"";
  return text;
}

}  // namespace

std::string describeLv2Plugin(const lv2host::Plugin& plugin) {
  const LilvPlugin* p = plugin.get();
  char rates[96];
  std::snprintf(rates, sizeof rates, "%.0f to %.0f Hz, the plug-in tuned for each",
                kLowestSampleRate, kHighestSampleRate);
  std::string out;
  out += "plug-in        " + std::string(lilv_node_as_uri(lilv_plugin_get_uri(p))) + " (LV2)\n";
  out += "name           " + nodeText(lilv_plugin_get_name(p)) + "\n";
  out += "bundle         " + filePath(lilv_plugin_get_bundle_uri(p)) + "\n";
  out += "binary         " + filePath(lilv_plugin_get_library_uri(p)) + "\n";
  out += "sample rates   " + std::string(rates) + "\n";
  out += "inputs         " + audioPorts(plugin, plugin.ports().audioInputs) + "\n";
  out += "outputs        " + audioPorts(plugin, plugin.ports().audioOutputs) + "\n";
  const std::vector<uint32_t> ports = parameterPorts(plugin);
  out += "parameters     " + std::to_string(ports.size()) + "\n";
  for (size_t i = 0; i < ports.size(); ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "  %3zu  %-12s %-10.6g symbol %s%s\n", i,
                  plugin.name(ports[i]).c_str(), static_cast<double>(plugin.ports().defaults[ports[i]]),
                  plugin.symbol(ports[i]).c_str(),
                  plugin.hasProperty(ports[i], LV2_CORE__toggled) ? ", a toggle" : "");
    out += line;
  }
  out += "programs       none of its own: --program 0 and 1 are the controls' defaults\n";
  return out;
}
