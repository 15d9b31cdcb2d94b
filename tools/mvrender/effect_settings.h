#pragma once
// Puts the command line's --program and --param settings into an open effect, as a host
// would: the program through the dispatcher, then each parameter through setParameter.
// Every setting is checked before the first is applied, so a mistake changes nothing.

#include <string>

#include "host/aeffect.h"
#include "tools/mvrender/command_line.h"

bool applyEffectSettings(AEffect* effect, const CommandLine& options, std::string& error);
