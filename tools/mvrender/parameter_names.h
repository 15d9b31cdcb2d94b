#pragma once
// Parameters named on the command line: by index, or by name. An effect that names its
// parameters (effGetParamName) is matched against those names; Mulchvoice gives the host no
// names, so for it the labels printed on its editor panel are used (carrier, speech, filter,
// morph, freq, gain, "switch C/S" and "mulch I/O"), and the short aliases of the parameter
// table ("swap" and "gate" for the two switches).
//
// Names match whatever their case and whether or not they contain spaces, '-', '_', '/' or
// '.': "switch-cs", "Switch C/S" and "switchcs" all name parameter 6.

#include <cstdint>
#include <string>
#include <vector>

#include "host/aeffect.h"

// The names to match `effect`'s parameters against; empty strings where it names none.
std::vector<std::string> parameterNamesOf(AEffect* effect);

// The name as compared: lower case, without the separators above.
std::string parameterKey(const std::string& name);

// Resolves a name or a decimal index to an index below `names.size()`; false with a one-line
// reason (listing the valid names) otherwise.
bool resolveParameter(const std::string& name, const std::vector<std::string>& names,
                      int32_t& index, std::string& error);

// The value of a --param setting: a number from 0 to 1, or on/off, true/false, yes/no.
bool parseParameterValue(const std::string& text, float& value, std::string& error);
