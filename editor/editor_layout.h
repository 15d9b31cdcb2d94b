#pragma once
// Where every control sits on the editor panel and where a mouse press reaches it: one table,
// walked by the editor to build, paint, refresh and hit-test its controls, and by the artwork
// generator to place the knob faces, switch squares and labels.
//
// Window coordinates: x to the right, y downwards, origin at the panel's top-left corner.
// Hit ranges are inclusive. They are not always the image: the gain knob answers 36 pixels
// wide, and the switches answer 19 rows starting just above their images (the second one
// only from two pixels right of its image's left edge).

#include <cstdint>

#include "engine/parameters.h"

constexpr int32_t kEditorWidth = 479;
constexpr int32_t kEditorHeight = 161;

constexpr int32_t kKnobFaceSize = 32;
constexpr int32_t kSwitchWidth = 22;
constexpr int32_t kSwitchHeight = 23;

// A control: a knob for a continuous parameter, a switch for a switch.
struct ControlPlace {
  ParameterIndex paramIndex;
  int32_t imageX, imageY;  // top-left of the control's image
  int32_t hitLeft, hitTop, hitRight, hitBottom;

  constexpr ParameterKind kind() const { return kParameterTable[paramIndex].kind; }
};

// One control per parameter.
constexpr int32_t kNumControls = kNumParams;

constexpr ControlPlace kControlLayout[kNumControls] = {
    {kCarrier, 44, 52, 44, 52, 75, 83},
    {kSpeech, 104, 52, 104, 52, 135, 83},
    {kFilter, 164, 52, 164, 52, 195, 83},
    {kMorph, 224, 52, 224, 52, 255, 83},
    {kFreq, 284, 52, 284, 52, 315, 83},
    {kGain, 344, 52, 344, 52, 379, 83},
    {kSwitchCS, 74, 98, 74, 97, 95, 115},
    {kMulchIO, 276, 99, 278, 97, 299, 115},
};

// The index into kControlLayout of the control whose hit range holds (x, y), or -1 when the
// press is on bare panel. The ranges do not overlap, so at most one control answers.
int32_t controlAt(int32_t x, int32_t y);
