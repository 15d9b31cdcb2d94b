#pragma once
// A small LV2 host on lilv, the loader library Linux hosts are built on: it finds a plug-in by
// URI, in one bundle or on the LV2 path, reads its ports, their groups and its presets from its
// description and runs instances with every port connected. The tests load the bundle of the
// build tree with it, and the LV2 benchmark times the plug-in and a packaged peer with it.
//
// Loading and instantiating allocate; an instance's run, connect and control calls do not, and
// go straight to the plug-in's own functions.

#include <lilv/lilv.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lv2host {

// What a host needs to know of the ports, by index.
struct PortLayout {
  std::vector<uint32_t> audioInputs;   // in index order
  std::vector<uint32_t> audioOutputs;  // in index order
  std::vector<uint32_t> controls;      // inputs and outputs
  std::vector<float> defaults;         // per port; NAN where a port has none
  std::string unsupported;  // names a port this host cannot connect, or is empty
};

// A preset as hosts list and apply it: its label and the value it gives each port it sets.
struct Preset {
  std::string uri;
  std::string label;
  std::vector<std::pair<std::string, float>> values;  // port symbol, value
};

class Plugin {
 public:
  // Loads the bundle at `bundleDirectory` alone, or every bundle on the LV2 path when it is
  // empty, and finds the plug-in `uri` there; error() says what failed.
  Plugin(const std::string& uri, const std::string& bundleDirectory);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  const LilvPlugin* get() const { return plugin_; }
  const PortLayout& ports() const { return ports_; }
  const std::string& error() const { return error_; }
  // A port's symbol and name, whether it is of the class `classUri` (LILV_URI_AUDIO_PORT,
  // LILV_URI_INPUT_PORT...) and whether it has the property `propertyUri`.
  std::string symbol(uint32_t port) const;
  std::string name(uint32_t port) const;
  bool is(uint32_t port, const char* classUri) const;
  bool hasProperty(uint32_t port, const char* propertyUri) const;
  // The object of `predicateUri` for a port (e.g. its pg:group), or for a resource the
  // description names (the plug-in, a group), as text; empty when there is none.
  std::string portValue(uint32_t port, const char* predicateUri) const;
  std::string value(const std::string& subjectUri, const char* predicateUri) const;
  // The port with this symbol, or kNoPort.
  static constexpr uint32_t kNoPort = UINT32_MAX;
  uint32_t portIndex(const std::string& symbol) const;
  // The presets of the plug-in, each read with lilv's state functions as hosts apply them; a
  // value that is not a number is left out.
  std::vector<Preset> presets() const;

 private:
  LilvWorld* world_;
  const LilvPlugin* plugin_ = nullptr;
  PortLayout ports_;
  std::string error_;
};

// One instance, activated, its control ports connected to values of its own at their defaults
// (0 where a port has none). Audio ports are connected per call of run or by connect.
class Instance {
 public:
  Instance(const Plugin& plugin, double sampleRate);  // null get() when instantiation fails
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  LilvInstance* get() const { return instance_; }
  float& control(uint32_t port) { return controls_[port]; }
  void connect(uint32_t port, void* data) { lilv_instance_connect_port(instance_, port, data); }

  // Connects the audio ports in the layout's order to the buffers given, then runs `frames`.
  void run(const float* const* inputs, float* const* outputs, uint32_t frames);

 private:
  const PortLayout& ports_;
  LilvInstance* instance_;
  std::vector<float> controls_;
};

}  // namespace lv2host
