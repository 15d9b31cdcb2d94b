#pragma once
// The `info` command's report: what a host sees of an open effect through its record and
// dispatcher (IDs, flags, channels, parameters with their values, programs, editor size).
// Reading the program names selects each program in turn; the current one is restored.

#include <string>

#include "host/aeffect.h"

std::string describeEffect(AEffect* effect);

// A four-character code as text: 'MvQz', with '?' for unprintable bytes.
std::string fourCharText(int32_t code);
