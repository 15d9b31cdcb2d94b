#include "tools/lv2host/lv2_host.h"

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

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

// The URI map lilv's state functions need: a URI's number is its place in the list, plus one.
struct UriMap {
  std::vector<std::string> uris;

  static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) {
    std::vector<std::string>& uris = static_cast<UriMap*>(handle)->uris;
    for (size_t i = 0; i < uris.size(); ++i)
      if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
  }
};

struct PresetReading {
  Preset* preset;
  LV2_URID floatType, doubleType, intType;
};

void takePortValue(const char* symbol, void* reading, const void* value, uint32_t size,
                   uint32_t type) {
  const PresetReading& r = *static_cast<PresetReading*>(reading);
  float number;
  if (type == r.floatType && size == sizeof(float)) {
    number = *static_cast<const float*>(value);
  } else if (type == r.doubleType && size == sizeof(double)) {
    number = static_cast<float>(*static_cast<const double*>(value));
  } else if (type == r.intType && size == sizeof(int32_t)) {
    number = static_cast<float>(*static_cast<const int32_t*>(value));
  } else {
    return;
  }
  r.preset->values.emplace_back(symbol, number);
}

std::string text(const LilvNode* node) { return node != nullptr ? lilv_node_as_string(node) : ""; }

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

std::string Plugin::portValue(uint32_t port, const char* predicateUri) const {
  LilvNode* predicate = lilv_new_uri(world_, predicateUri);
  LilvNode* node = lilv_port_get(plugin_, lilv_plugin_get_port_by_index(plugin_, port), predicate);
  const std::string value = text(node);
  lilv_node_free(node);
  lilv_node_free(predicate);
  return value;
}

std::string Plugin::value(const std::string& subjectUri, const char* predicateUri) const {
  LilvNode* subject = lilv_new_uri(world_, subjectUri.c_str());
  LilvNode* predicate = lilv_new_uri(world_, predicateUri);
  LilvNode* node = lilv_world_get(world_, subject, predicate, nullptr);
  const std::string value = text(node);
  for (LilvNode* n : {node, predicate, subject}) lilv_node_free(n);
  return value;
}

uint32_t Plugin::portIndex(const std::string& symbol) const {
  LilvNode* node = lilv_new_string(world_, symbol.c_str());
  const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
  lilv_node_free(node);
  return port != nullptr ? lilv_port_get_index(plugin_, port) : kNoPort;
}

std::vector<Preset> Plugin::presets() const {
  std::vector<Preset> presets;
  UriMap uris;
  LV2_URID_Map map = {&uris, UriMap::map};
  LilvNode* presetClass = lilv_new_uri(world_, LV2_PRESETS__Preset);
  LilvNodes* related = lilv_plugin_get_related(plugin_, presetClass);
  LILV_FOREACH (nodes, i, related) {
    const LilvNode* uri = lilv_nodes_get(related, i);
    lilv_world_load_resource(world_, uri);
    LilvState* state = lilv_state_new_from_world(world_, &map, uri);
    if (state == nullptr) continue;
    Preset preset{lilv_node_as_uri(uri), "", {}};
    if (const char* label = lilv_state_get_label(state)) preset.label = label;
    PresetReading reading = {&preset, UriMap::map(&uris, LV2_ATOM__Float),
                             UriMap::map(&uris, LV2_ATOM__Double),
                             UriMap::map(&uris, LV2_ATOM__Int)};
    lilv_state_emit_port_values(state, takePortValue, &reading);
    lilv_state_free(state);
    presets.push_back(std::move(preset));
  }
  lilv_nodes_free(related);
  lilv_node_free(presetClass);
  return presets;
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
