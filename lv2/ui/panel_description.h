#pragma once
// The Turtle that describes the panel, written into the bundle by write_bundle_description:
// entries for manifest.ttl, which tell hosts that the plug-in has this UI, its kind and its
// binary, and the UI's own file with the features it needs and offers.

#include <string>

std::string panelManifestEntries();
std::string panelDescription();
