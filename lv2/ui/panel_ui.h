#pragma once
// The panel as the bundle names it: an LV2 UI of the X11 kind in a module of its own, which
// links no engine, so that a host may run it in another process than the sound.

// The UI's URI, in the project's own name space beside the plug-in's; it never changes.
constexpr const char* kPanelUiUri = "urn:mulchvoice:panel";
constexpr const char* kPanelUiBinaryName = "mulchvoice_ui.so";
constexpr const char* kPanelUiDescriptionName = "mulchvoice_ui.ttl";
