// Writes the bundle's two description files, in Turtle, from the port table and the parameter
// table, so that what hosts read about the ports always matches what the binary does with them:
//
//   write_bundle_description <bundle directory>
//
//   manifest.ttl     the plug-in's URI, its binary mulchvoice.so and where its description is;
//                    hosts read this file of every bundle when they scan
//   mulchvoice.ttl   the plug-in: its class, its features and every port
//   mulchvoice_ui.ttl  the panel, its UI (lv2/ui/panel_description.h), which the manifest names
//
// The build runs it; it exits non-zero when a file cannot be written.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "engine/parameters.h"
#include "lv2/ports.h"
#include "lv2/ui/panel_description.h"
#include "lv2/ui/panel_ui.h"

namespace {

constexpr const char* kBinaryName = "mulchvoice.so";
constexpr const char* kDescriptionName = "mulchvoice.ttl";

constexpr const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";

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

std::string audioPort(uint32_t index) {
  const AudioPortInfo& port = kAudioPorts[index];
  return std::string("\t\ta lv2:AudioPort, ") + (port.output ? "lv2:OutputPort" : "lv2:InputPort") +
         " ;\n\t\tlv2:index " + std::to_string(index) + " ;\n\t\tlv2:symbol " +
         quoted(port.symbol) + " ;\n\t\tlv2:name " + quoted(port.name) + "\n";
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

std::string manifest() {
  return std::string(kPrefixes) + "<" + kPluginUri + ">\n\ta lv2:Plugin ;\n\tlv2:binary <" +
         kBinaryName + "> ;\n\trdfs:seeAlso <" + kDescriptionName + "> .\n" +
         panelManifestEntries();
}

std::string description() {
  std::string text = std::string(kPrefixes) + "<" + kPluginUri + ">\n\ta lv2:Plugin, " +
                     kPluginClass + " ;\n\tdoap:name \"Mulchvoice\" ;\n\trdfs:comment " +
                     quoted(kPluginComment) + " ;\n\tlv2:optionalFeature lv2:hardRTCapable ;\n" +
                     "\tlv2:port [\n";
  for (uint32_t index = 0; index < kNumPorts; ++index) {
    if (index > 0) text += "\t] , [\n";
    text += index < kFirstControlPort
                ? audioPort(index)
                : controlPort(static_cast<int32_t>(index - kFirstControlPort));
  }
  return text + "\t] .\n";
}

bool writeFile(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_bundle_description <bundle directory>\n");
    return 2;
  }
  const std::string bundle = argv[1];
  for (const auto& [name, text] : {std::pair<const char*, std::string>{"manifest.ttl", manifest()},
                                   {kDescriptionName, description()},
                                   {kPanelUiDescriptionName, panelDescription()}}) {
    if (!writeFile(bundle + "/" + name, text)) {
      std::fprintf(stderr, "write_bundle_description: cannot write %s/%s\n", bundle.c_str(), name);
      return 1;
    }
  }
  return 0;
}
