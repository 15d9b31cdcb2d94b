#pragma once
// The LV2 plug-in's factory presets: one table, from which write_bundle_description writes the
// bundle's presets.ttl. Each preset gives every control's value, in parameter order, and hosts
// list them by name. A preset's URI is kPresetUriPrefix followed by its key; hosts store it in
// their sessions, so a key never changes once released (a preset changed beyond recognition
// gets a new key). The DLLs keep their two programs, both "Smooth Mulch".
//
// The gate's rate follows freq as rate / (2 half-period), half-period = rate /
// (9.999 (e^(7 freq) - 1) + 1) samples: freq 0.130907 gives 8 Hz, 0.341266 gives 50 Hz.

#include <array>
#include <cstddef>

#include "engine/parameters.h"

constexpr const char* kPresetUriPrefix = "urn:mulchvoice:preset:";

using ParameterValues = std::array<float, kNumParams>;

struct FactoryPreset {
  const char* key;      // the end of the URI: lowercase letters and dashes
  const char* name;     // what hosts list
  const char* comment;  // what it sounds like, and what it asks of the carrier
  ParameterValues values;
};

// The program every instance starts with: each parameter at its default.
constexpr ParameterValues parameterDefaults() {
  ParameterValues values{};
  for (const ParameterInfo& p : kParameterTable) values[p.index] = p.defaultValue;
  return values;
}

// Each row's values: carrier, speech, filter, morph, freq, gain, switch C/S, mulch I/O. The gains
// bring every preset to within a few dB of Smooth Mulch's level.
constexpr FactoryPreset kFactoryPresets[] = {
    {"smooth-mulch", "Smooth Mulch",
     "The defaults: medium bands, gliding envelopes, the Mulch gate chopping at 5.6 Hz.",
     parameterDefaults()},
    {"crisp-robot", "Crisp Robot",
     "Broad bands and quick envelopes, no gate: a clear, intelligible robot voice.",
     {1.0f, 1.0f, 0.6f, 0.3f, 0.1f, 0.1f, 0.0f, 0.0f}},
    {"dry-leaf-whisper", "Dry Leaf Whisper",
     "The widest bands and the slowest envelopes, no gate: breathy and airy, a whisper with a "
     "noise carrier.",
     {1.0f, 1.0f, 1.0f, 1.0f, 0.1f, 0.025f, 0.0f, 0.0f}},
    {"greenhouse-choir", "Greenhouse Choir",
     "Narrow, ringing bands, no gate: every band whistles its own note, a choir from a chord.",
     {1.0f, 1.0f, 0.15f, 1.0f, 0.1f, 1.0f, 0.0f, 0.0f}},
    {"sixteenth-stutter", "Sixteenth Stutter",
     "Medium bands with the gate at 8 Hz: sixteenth notes at 120 beats a minute.",
     {1.0f, 1.0f, 0.55f, 0.4f, 0.130907f, 0.13f, 0.0f, 1.0f}},
    {"garden-hose-phone", "Garden Hose Phone",
     "Narrowish bands, gritty envelopes and the gate buzzing at 50 Hz: a lo-fi telephone line.",
     {1.0f, 1.0f, 0.25f, 0.0f, 0.341266f, 0.6f, 0.0f, 1.0f}},
};

constexpr size_t kNumFactoryPresets = sizeof kFactoryPresets / sizeof kFactoryPresets[0];
