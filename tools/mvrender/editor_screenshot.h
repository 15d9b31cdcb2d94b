#pragma once
// The `screenshot` command (32-bit Windows only): opens the effect's editor in a host window as
// a host does, lets it paint through a few idle calls, reads the window back from the screen
// and saves it as a PNG file.

#include <string>

#include "host/aeffect.h"

bool saveEditorScreenshot(AEffect* effect, const std::string& pngPath, std::string& error);
