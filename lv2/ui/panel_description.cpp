#include "lv2/ui/panel_description.h"

#include "lv2/ports.h"
#include "lv2/ui/panel_ui.h"

namespace {

constexpr const char* kPrefixes =
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n\n";

}  // namespace

std::string panelManifestEntries() {
  return std::string("\n") + kPrefixes + "<" + kPluginUri + ">\n\tui:ui <" + kPanelUiUri +
         "> .\n\n<" + kPanelUiUri + ">\n\ta ui:X11UI ;\n\tui:binary <" + kPanelUiBinaryName +
         "> ;\n\trdfs:seeAlso <" + kPanelUiDescriptionName + "> .\n";
}

// The panel is idled by the host and lives in the host's window. It may ask the host for its
// size, and tells it that users cannot resize it; it does not demand a fixed-size host, which
// some hosts refuse.
std::string panelDescription() {
  return std::string(kPrefixes) + "<" + kPanelUiUri +
         ">\n\ta ui:X11UI ;\n\trdfs:label \"Mulchvoice panel\" ;\n"
         "\tlv2:requiredFeature ui:idleInterface , ui:parent ;\n"
         "\tlv2:optionalFeature ui:resize , ui:noUserResize ;\n"
         "\tlv2:extensionData ui:idleInterface .\n";
}
