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

constexpr int32_t kEditorWidth = 479;
constexpr int32_t kEditorHeight = 161;

constexpr int32_t kKnobFaceSize = 32;
constexpr int32_t kSwitchWidth = 22;
constexpr int32_t kSwitchHeight = 23;

enum class ControlKind { kKnob, kSwitch };

struct ControlPlace {
  ControlKind kind;
  int32_t paramIndex;
  int32_t imageX, imageY;  // top-left of the control's image
  int32_t hitLeft, hitTop, hitRight, hitBottom;
};

constexpr int32_t kNumControls = 8;

constexpr ControlPlace kControlLayout[kNumControls] = {
    {ControlKind::kKnob, 0, 44, 52, 44, 52, 75, 83},       // carrier
    {ControlKind::kKnob, 1, 104, 52, 104, 52, 135, 83},    // speech
    {ControlKind::kKnob, 2, 164, 52, 164, 52, 195, 83},    // filter
    {ControlKind::kKnob, 3, 224, 52, 224, 52, 255, 83},    // morph
    {ControlKind::kKnob, 4, 284, 52, 284, 52, 315, 83},    // freq
    {ControlKind::kKnob, 5, 344, 52, 344, 52, 379, 83},    // gain
    {ControlKind::kSwitch, 6, 74, 98, 74, 97, 95, 115},    // switch C/S
    {ControlKind::kSwitch, 7, 276, 99, 278, 97, 299, 115}, // mulch I/O
};

// The index into kControlLayout of the control whose hit range holds (x, y), or -1 when the
// press is on bare panel. The ranges do not overlap, so at most one control answers.
int32_t controlAt(int32_t x, int32_t y);
