#pragma once
// The LV2 plug-in's ports, in index order: the two audio inputs, the two audio outputs, then one
// control input per parameter in parameter order. The plug-in binary and the generator of the
// bundle's description both walk these tables, so the two cannot disagree about an index.

#include <cstdint>

#include "engine/parameters.h"

// The plug-in's URI: the project's own name space, which no other plug-in can claim. Hosts
// store it in their sessions, so it never changes.
constexpr const char* kPluginUri = "urn:mulchvoice:vocoder";

enum PortIndex : uint32_t {
  kInput1 = 0,  // the speech, unless "switch C/S" swaps the roles
  kInput2 = 1,  // the carrier, unless swapped
  kOutput1 = 2,
  kOutput2 = 3,  // the same samples as output 1
  kFirstControlPort = 4,
  kNumPorts = kFirstControlPort + kNumParams,
};

struct AudioPortInfo {
  const char* symbol;
  const char* name;
  bool output;
};

constexpr AudioPortInfo kAudioPorts[kFirstControlPort] = {
    {"in1", "Input 1 (speech)", false},
    {"in2", "Input 2 (carrier)", false},
    {"out1", "Output 1", true},
    {"out2", "Output 2", true},
};

// A control port's symbol (lowercase, as hosts and lv2apply's -c take it) and what a host may
// show as its tooltip. Its name is the parameter's editor label, its range 0 to 1 and its default
// the parameter's program default, all from kParameterTable. A toggled port reads as off at 0 or
// below and as on above 0.
struct ControlPortInfo {
  const char* symbol;
  bool toggled;
  const char* comment;
};

constexpr ControlPortInfo kControlPorts[kNumParams] = {
    {"carrier", false,
     "Despite its label, the level of the speech side: the input whose band envelopes are "
     "followed. Bands 2 to 8 scale with it; band 1 does not."},
    {"speech", false,
     "Despite its label, the level of the carrier side: the input that is filtered and shaped."},
    {"filter", false,
     "Width of the eight band filters: low values give narrow, ringing bands, high values broad, "
     "intelligible ones. At 0 the bands let nothing in."},
    {"morph", false,
     "Smoothing of the band envelopes, up to about 5 ms: low values follow every wiggle, high "
     "values glide."},
    {"freq", false,
     "Rate of the Mulch gate, from 0.5 Hz (0) through about 5.6 Hz (0.1) to 5.5 kHz (1). A new "
     "rate starts when the current phase ends."},
    {"gain", false, "Output gain."},
    {"switch_cs", true,
     "Which input is the speech: off, input 1 is the speech and input 2 the carrier; on swaps "
     "them."},
    {"mulch_io", true, "The Mulch gate: on chops the output, off passes it through."},
};

constexpr float kControlMinimum = 0.0f;
constexpr float kControlMaximum = 1.0f;
