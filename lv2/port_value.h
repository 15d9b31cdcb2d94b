#pragma once
// A control port's value as the parameter takes it. The range is 0 to 1: a value beyond an end
// counts as that end, and one that is not a number as 0. A toggled port is off at 0 or below and
// on above, which the switches get as exactly 0.0 or 1.0, the two values they act on. The
// plug-in feeds the engine these values, and the panel shows them, so it shows what the sound
// does.

#include <cstdint>

#include "engine/parameters.h"

inline float parameterValue(int32_t index, float portValue) {
  if (kParameterTable[index].kind == ParameterKind::kSwitch) return portValue > 0.0f ? 1.0f : 0.0f;
  return clampToUnit(portValue);
}
