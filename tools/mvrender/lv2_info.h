#pragma once
// The `info` command's report on the native route: what an LV2 host sees of the plug-in through
// lilv (URI, name, bundle, audio ports, the control ports with their defaults) and the
// rates it is tuned for.

#include <string>

#include "tools/lv2host/lv2_host.h"

std::string describeLv2Plugin(const lv2host::Plugin& plugin);
