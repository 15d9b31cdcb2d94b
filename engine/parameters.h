#pragma once
// The eight parameters: index, editor label and program default. The labels are painted on
// the editor's panel; the host is given no parameter names.

#include <cstdint>

enum ParameterIndex : int32_t {
  kCarrier = 0,   // level of the speech-side input (the one whose envelopes are followed)
  kSpeech = 1,    // level of the carrier-side input (the one that is filtered and shaped)
  kFilter = 2,    // width of all eight band filters
  kMorph = 3,     // smoothing of the band envelopes
  kFreq = 4,      // chopper gate rate
  kGain = 5,      // output gain
  kSwitchCS = 6,  // exactly 0.0: input 1 is the speech; any other value swaps the inputs
  kMulchIO = 7,   // exactly 1.0: the chopper gate is on; any other value bypasses it
  kNumParams = 8,
};

struct ParameterInfo {
  const char* label;
  float defaultValue;
};

constexpr ParameterInfo kParameterTable[kNumParams] = {
    {"carrier", 1.0f}, {"speech", 1.0f}, {"filter", 0.4f},     {"morph", 1.0f},
    {"freq", 0.1f},    {"gain", 0.3f},   {"switch C/S", 0.0f}, {"mulch I/O", 1.0f},
};

// A parameter value as the formulas take it: above 1.0 it is 1.0; below 0.0, or not a number,
// it is 0.0.
inline float clampToUnit(float value) {
  if (value > 1.0f) value = 1.0f;
  if (!(value >= 0.0f)) value = 0.0f;
  return value;
}
