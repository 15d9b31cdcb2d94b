#pragma once
// The LV2 plug-in's ports, in index order: the two audio inputs, the two audio outputs, then one
// control input per parameter in parameter order. The plug-in binary and the generator of the
// bundle's description both walk this table and the parameter table, so the two cannot disagree
// about an index.

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

// Each control port is one parameter of kParameterTable: its symbol, its editor label as name,
// its description as comment and its program default; a switch is a toggled port, which reads as
// off at 0 or below and as on above 0. Every control runs from 0 to 1.
constexpr float kControlMinimum = 0.0f;
constexpr float kControlMaximum = 1.0f;
