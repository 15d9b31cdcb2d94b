#include "tools/lv2host/lv2_host.h"

#include <cmath>

namespace lv2host {

namespace {

// Reads the port layout; a port that is neither audio nor control, and not optional, cannot be
// served by this host.
PortLayout readPorts(LilvWorld* world, const LilvPlugin* plugin) {
  PortLayout layout;
  const uint32_t count = lilv_plugin_get_num_ports(plugin);
  layout.defaults.resize(count);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, layout.defaults.data());
  LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
  LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
  LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
  LilvNode* optional = lilv_new_uri(world, LV2_CORE__connectionOptional);
  for (uint32_t index = 0; index < count; ++index) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
    if (lilv_port_is_a(plugin, port, audio)) {
      (lilv_port_is_a(plugin, port, input) ? layout.audioInputs : layout.audioOutputs)
          .push_back(index);
    } else if (lilv_port_is_a(plugin, port, control)) {
      layout.controls.push_back(index);
    } else if (!lilv_port_has_property(plugin, port, optional) && layout.unsupported.empty()) {
      layout.unsupported = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    }
  }
  for (LilvNode* node : {audio, control, input, optional}) lilv_node_free(node);
  return layout;
}

}  // namespace

Plugin::Plugin(const std::string& uri, const std::string& bundleDirectory)
    : world_(lilv_world_new()) {
  if (bundleDirectory.empty()) {
    lilv_world_load_all(world_);
  } else {
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, bundleDirectory.c_str());
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
  }
  LilvNode* uriNode = lilv_new_uri(world_, uri.c_str());
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uriNode);
  lilv_node_free(uriNode);
  if (plugin_ == nullptr) {
    error_ = "no plug-in " + uri + (bundleDirectory.empty() ? " on the LV2 path"
                                                            : " in " + bundleDirectory);
    return;
  }
  ports_ = readPorts(world_, plugin_);
  if (!ports_.unsupported.empty()) error_ = "cannot connect port " + ports_.unsupported;
}

Plugin::~Plugin() { lilv_world_free(world_); }

std::string Plugin::symbol(uint32_t port) const {
  const LilvPort* p = lilv_plugin_get_port_by_index(plugin_, port);
  return lilv_node_as_string(lilv_port_get_symbol(plugin_, p));
}

std::string Plugin::name(uint32_t port) const {
  LilvNode* node = lilv_port_get_name(plugin_, lilv_plugin_get_port_by_index(plugin_, port));
  std::string text = node != nullptr ? lilv_node_as_string(node) : "";
  lilv_node_free(node);
  return text;
}

bool Plugin::is(uint32_t port, const char* classUri) const {
  LilvNode* portClass = lilv_new_uri(world_, classUri);
  const bool is = lilv_port_is_a(plugin_, lilv_plugin_get_port_by_index(plugin_, port), portClass);
  lilv_node_free(portClass);
  return is;
}

bool Plugin::hasProperty(uint32_t port, const char* propertyUri) const {
  LilvNode* property = lilv_new_uri(world_, propertyUri);
  const bool has =
      lilv_port_has_property(plugin_, lilv_plugin_get_port_by_index(plugin_, port), property);
  lilv_node_free(property);
  return has;
}

Instance::Instance(const Plugin& plugin, double sampleRate)
    : ports_(plugin.ports()),
      instance_(plugin.get() != nullptr ? lilv_plugin_instantiate(plugin.get(), sampleRate, nullptr)
                                        : nullptr),
      controls_(ports_.defaults.size()) {
  if (instance_ == nullptr) return;
  for (const uint32_t port : ports_.controls) {
    controls_[port] = std::isnan(ports_.defaults[port]) ? 0.0f : ports_.defaults[port];
    connect(port, &controls_[port]);
  }
  lilv_instance_activate(instance_);
}

Instance::~Instance() {
  if (instance_ == nullptr) return;
  lilv_instance_deactivate(instance_);
  lilv_instance_free(instance_);
}

void Instance::run(const float* const* inputs, float* const* outputs, uint32_t frames) {
  for (size_t i = 0; i < ports_.audioInputs.size(); ++i)
    connect(ports_.audioInputs[i], const_cast<float*>(inputs[i]));
  for (size_t i = 0; i < ports_.audioOutputs.size(); ++i)
    connect(ports_.audioOutputs[i], outputs[i]);
  lilv_instance_run(instance_, frames);
}

}  // namespace lv2host
