// Writes the bundle's description files, in Turtle, from the port table, the parameter table and
// the factory presets, so that what hosts read about the ports always matches what the binary
// does with them:
//
//   write_bundle_description <bundle directory> [binary]
//
//   manifest.ttl     the plug-in's URI, its binary (mulchvoice.so unless named) and where its
//                    description is, the presets' URIs and the panel; hosts read this file of
//                    every bundle when they scan
//   mulchvoice.ttl   the plug-in: its version, maintainer and project, its class, its features,
//                    its port groups and every port
//   presets.ttl      the factory presets, each with every control's value
//   mulchvoice_ui.ttl  the panel, its UI (lv2/ui/panel_description.h), which the manifest names
//
// The build runs it; it exits non-zero when a file cannot be written.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "engine/parameters.h"
#include "lv2/factory_presets.h"
#include "lv2/ports.h"
#include "lv2/ui/panel_description.h"
#include "lv2/ui/panel_ui.h"

namespace {

constexpr const char* kBinaryName = "mulchvoice.so";
constexpr const char* kDescriptionName = "mulchvoice.ttl";
constexpr const char* kPresetsName = "presets.ttl";

constexpr const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";

// The description's version. Hosts that find two copies of the plug-in load the one with the
// higher version, so every release that changes a description file raises it: the minor version
// for additions (a port, a group, a preset), the micro version for anything else. Both are even
// in a release; an odd number marks a development version.
constexpr int kMinorVersion = 2;
constexpr int kMicroVersion = 0;

// The project the plug-in belongs to, and who looks after it, in the project's own name space.
// Hosts show the project's maintainer as the plug-in's author.
constexpr const char* kProjectUri = "urn:mulchvoice:project";
constexpr const char* kProjectHome = "urn:mulchvoice:home";
constexpr const char* kMaintainerUri = "urn:mulchvoice:developers";
constexpr const char* kMaintainerName = "The Mulchvoice developers";

// The port groups by which hosts route the audio ports: the speech is the main input, the
// carrier a sidechain of it (hosts offer a sidechain input for it, fed from another track), and
// the two outputs the main output, a stereo pair of the same samples. A group's URI is the
// plug-in's, '#' and the group's symbol.
enum GroupIndex { kSpeechGroup, kCarrierGroup, kOutputGroup, kNumGroups };

struct PortGroup {
  const char* symbol;
  const char* name;
  const char* classes;  // input or output, and its channels
  int sideChainOf;      // the group this one is a sidechain of, or -1
};

constexpr PortGroup kPortGroups[kNumGroups] = {
    {"speech_in", "Speech", "pg:InputGroup, pg:MonoGroup", -1},
    {"carrier_in", "Carrier (sidechain)", "pg:InputGroup, pg:MonoGroup", kSpeechGroup},
    {"out", "Output", "pg:OutputGroup, pg:StereoGroup", -1},
};

// Each audio port's group and its channel there, by port index.
struct GroupMember {
  GroupIndex group;
  const char* designation;
};

constexpr GroupMember kGroupMembers[kFirstControlPort] = {
    {kSpeechGroup, "pg:center"},
    {kCarrierGroup, "pg:center"},
    {kOutputGroup, "pg:left"},
    {kOutputGroup, "pg:right"},
};

// A channel vocoder lays the speech's spectral envelope over the carrier: of the classes hosts
// sort plug-ins into, the spectral one says that.
constexpr const char* kPluginClass = "lv2:SpectralPlugin";

constexpr const char* kPluginComment =
    "An eight-band channel vocoder: the band envelopes of the speech (input 1) shape the same "
    "bands of the carrier (input 2), and the Mulch gate can chop the sum at an adjustable rate. "
    "Both outputs carry the same signal.";

// A string literal with its quotes and backslashes escaped.
std::string quoted(const char* text) {
  std::string out = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') out += '\\';
    out += *c;
  }
  return out + "\"";
}

// The shortest decimal that reads back as exactly the same 32-bit float: 0.4, not 0.400000006.
std::string decimal(float value) {
  char text[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  std::string out = text;
  // Turtle reads a number without a point or exponent as an integer.
  if (out.find_first_of(".e") == std::string::npos) out += ".0";
  return out;
}

std::string groupUri(int group) {
  return std::string("<") + kPluginUri + "#" + kPortGroups[group].symbol + ">";
}

// A port in a sidechain group is a sidechain itself: hosts that know no groups read that.
std::string audioPort(uint32_t index) {
  const AudioPortInfo& port = kAudioPorts[index];
  const GroupMember& member = kGroupMembers[index];
  std::string text = std::string("\t\ta lv2:AudioPort, ") +
                     (port.output ? "lv2:OutputPort" : "lv2:InputPort") + " ;\n\t\tlv2:index " +
                     std::to_string(index) + " ;\n\t\tlv2:symbol " + quoted(port.symbol) +
                     " ;\n\t\tlv2:name " + quoted(port.name) + " ;\n";
  if (kPortGroups[member.group].sideChainOf >= 0)
    text += "\t\tlv2:portProperty lv2:isSideChain ;\n";
  return text + "\t\tpg:group " + groupUri(member.group) + " ;\n\t\tlv2:designation " +
         member.designation + "\n";
}

std::string controlPort(int32_t parameter) {
  const ParameterInfo& info = kParameterTable[parameter];
  std::string text = "\t\ta lv2:ControlPort, lv2:InputPort ;\n\t\tlv2:index " +
                     std::to_string(kFirstControlPort + parameter) + " ;\n\t\tlv2:symbol " +
                     quoted(info.symbol) + " ;\n\t\tlv2:name " + quoted(info.label) +
                     " ;\n\t\trdfs:comment " + quoted(info.description) + " ;\n";
  if (info.kind == ParameterKind::kSwitch) text += "\t\tlv2:portProperty lv2:toggled ;\n";
  return text + "\t\tlv2:default " + decimal(info.defaultValue) +
         " ;\n\t\tlv2:minimum " + decimal(kControlMinimum) + " ;\n\t\tlv2:maximum " +
         decimal(kControlMaximum) + "\n";
}

std::string presetUri(const FactoryPreset& preset) {
  return std::string("<") + kPresetUriPrefix + preset.key + ">";
}

// Hosts find the presets through the manifest, and read their values only when one is picked.
std::string manifest(const std::string& binary) {
  std::string text = std::string(kPrefixes) + "<" + kPluginUri +
                     ">\n\ta lv2:Plugin ;\n\tlv2:binary <" + binary + "> ;\n\trdfs:seeAlso <" +
                     kDescriptionName + "> .\n";
  for (const FactoryPreset& preset : kFactoryPresets)
    text += "\n" + presetUri(preset) + "\n\ta pset:Preset ;\n\tlv2:appliesTo <" + kPluginUri +
            "> ;\n\trdfs:seeAlso <" + kPresetsName + "> .\n";
  return text + panelManifestEntries();
}

std::string groups() {
  std::string text;
  for (int group = 0; group < kNumGroups; ++group) {
    const PortGroup& g = kPortGroups[group];
    text += groupUri(group) + "\n\ta " + g.classes + " ;\n\tlv2:symbol " + quoted(g.symbol) +
            " ;\n\tlv2:name " + quoted(g.name);
    if (g.sideChainOf >= 0) text += " ;\n\tpg:sideChainOf " + groupUri(g.sideChainOf);
    text += " .\n\n";
  }
  return text;
}

std::string project() {
  return std::string("<") + kProjectUri + ">\n\ta doap:Project ;\n\tdoap:name \"Mulchvoice\" ;\n" +
         "\tdoap:homepage <" + kProjectHome + "> ;\n\tdoap:maintainer <" + kMaintainerUri +
         "> .\n\n<" + kMaintainerUri + ">\n\ta foaf:Person ;\n\tfoaf:name " +
         quoted(kMaintainerName) + " ;\n\tfoaf:homepage <" + kProjectHome + "> .\n\n";
}

std::string description() {
  std::string text =
      std::string(kPrefixes) + project() + groups() + "<" + kPluginUri + ">\n\ta lv2:Plugin, " +
      kPluginClass + " ;\n\tdoap:name \"Mulchvoice\" ;\n\tlv2:project <" + kProjectUri +
      "> ;\n\tlv2:minorVersion " + std::to_string(kMinorVersion) + " ;\n\tlv2:microVersion " +
      std::to_string(kMicroVersion) + " ;\n\trdfs:comment " + quoted(kPluginComment) +
      " ;\n\tlv2:optionalFeature lv2:hardRTCapable ;\n\tpg:mainInput " + groupUri(kSpeechGroup) +
      " ;\n\tpg:mainOutput " + groupUri(kOutputGroup) + " ;\n\tlv2:port [\n";
  for (uint32_t index = 0; index < kNumPorts; ++index) {
    if (index > 0) text += "\t] , [\n";
    text += index < kFirstControlPort
                ? audioPort(index)
                : controlPort(static_cast<int32_t>(index - kFirstControlPort));
  }
  return text + "\t] .\n";
}

// Every preset sets every control, by the port's symbol.
std::string presets() {
  std::string text = kPrefixes;
  for (const FactoryPreset& preset : kFactoryPresets) {
    text += presetUri(preset) + "\n\ta pset:Preset ;\n\tlv2:appliesTo <" + kPluginUri +
            "> ;\n\trdfs:label " + quoted(preset.name) + " ;\n\trdfs:comment " +
            quoted(preset.comment) + " ;\n\tlv2:port [\n";
    for (const ParameterInfo& p : kParameterTable) {
      if (p.index > 0) text += "\t] , [\n";
      text += "\t\tlv2:symbol " + quoted(p.symbol) + " ;\n\t\tpset:value " +
              decimal(preset.values[p.index]) + "\n";
    }
    text += "\t] .\n\n";
  }
  return text;
}

bool writeFile(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

// A second argument names another binary: the run timer's bundle (tools/lv2live) describes the
// same plug-in with its own binary in front of this one.
int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: write_bundle_description <bundle directory> [binary]\n");
    return 2;
  }
  const std::string bundle = argv[1];
  const std::string binary = argc == 3 ? argv[2] : kBinaryName;
  for (const auto& [name, text] :
       {std::pair<const char*, std::string>{"manifest.ttl", manifest(binary)},
        {kDescriptionName, description()},
        {kPresetsName, presets()},
        {kPanelUiDescriptionName, panelDescription()}}) {
    if (!writeFile(bundle + "/" + name, text)) {
      std::fprintf(stderr, "write_bundle_description: cannot write %s/%s\n", bundle.c_str(), name);
      return 1;
    }
  }
  return 0;
}
