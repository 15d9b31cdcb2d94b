#pragma once
// The eight parameters and every fact about each: one table, read by the engine, the effect
// with its programs, the editor's controls, the LV2 ports and their description, the offline
// host's command line and the benchmarks. A change to a parameter is one edit here.
//
// The host of the DLLs is given no parameter names: the labels are painted on the editor's panel
// and name the LV2 ports. The descriptions are the README's, word for word.

#include <cstdint>

enum ParameterIndex : int32_t {
  kCarrier = 0,
  kSpeech = 1,
  kFilter = 2,
  kMorph = 3,
  kFreq = 4,
  kGain = 5,
  kSwitchCS = 6,  // exactly 0.0: input 1 is the speech; any other value swaps the inputs
  kMulchIO = 7,   // exactly 1.0: the chopper gate is on; any other value bypasses it
  kNumParams = 8,
};

// A continuous parameter is a knob on the editor; a switch is a toggle there and on LV2 hosts.
enum class ParameterKind { kContinuous, kSwitch };

struct ParameterInfo {
  ParameterIndex index;
  const char* label;   // the editor's label, the LV2 port's name
  const char* symbol;  // the LV2 port's symbol: lowercase, as hosts and lv2apply's -c take it
  const char* alias;   // a short name the command line also takes, or null
  ParameterKind kind;
  float defaultValue;  // in both programs, "Smooth Mulch", as each starts
  const char* description;
};

constexpr ParameterInfo kParameterTable[kNumParams] = {
    {kCarrier, "carrier", "carrier", nullptr, ParameterKind::kContinuous, 1.0f,
     "Despite its label, the level of the speech side: the input whose band envelopes are "
     "followed. Bands 2 to 8 scale with it; band 1 does not."},
    {kSpeech, "speech", "speech", nullptr, ParameterKind::kContinuous, 1.0f,
     "Despite its label, the level of the carrier side: the input that is filtered and shaped."},
    {kFilter, "filter", "filter", nullptr, ParameterKind::kContinuous, 0.4f,
     "Width of all eight band filters: low values give narrow, ringing, whistly bands; high "
     "values broad, intelligible ones. At 0.0 the bands let nothing new in."},
    {kMorph, "morph", "morph", nullptr, ParameterKind::kContinuous, 1.0f,
     "Smoothing of the band envelopes, up to about 5 ms: low values follow every wiggle "
     "(gritty), high values glide."},
    {kFreq, "freq", "freq", nullptr, ParameterKind::kContinuous, 0.1f,
     "Rate of the Mulch gate, from 0.5 Hz (0.0) through about 5.6 Hz (0.1) to 5.5 kHz (1.0). A "
     "new rate starts when the current phase ends."},
    {kGain, "gain", "gain", nullptr, ParameterKind::kContinuous, 0.3f, "Output gain."},
    {kSwitchCS, "switch C/S", "switch_cs", "swap", ParameterKind::kSwitch, 0.0f,
     "Which input is the speech: off means input 1 is the speech and input 2 the carrier; on "
     "swaps them."},
    {kMulchIO, "mulch I/O", "mulch_io", "gate", ParameterKind::kSwitch, 1.0f,
     "The Mulch gate: on (exactly 1.0) chops the output, off passes it through."},
};

// Each row sits at its own index, so kParameterTable[k].index == k for every constant k.
constexpr bool parameterRowsInIndexOrder() {
  for (int32_t i = 0; i < kNumParams; ++i)
    if (kParameterTable[i].index != i) return false;
  return true;
}
static_assert(parameterRowsInIndexOrder(), "kParameterTable's rows must be in index order");

// A parameter value as the formulas take it: above 1.0 it is 1.0; below 0.0, or not a number,
// it is 0.0.
inline float clampToUnit(float value) {
  if (value > 1.0f) value = 1.0f;
  if (!(value >= 0.0f)) value = 0.0f;
  return value;
}
