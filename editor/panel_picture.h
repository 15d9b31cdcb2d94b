#pragma once
// The panel as pixels, drawn the way the Windows editor draws it: the background, each knob's
// face with its pointer for its value, each switch's lit or unlit image. A face that shows
// pictures (the X11 panel) keeps one and copies what changed to its window; the tests hold
// screenshots against it.
//
// Values are indexed by parameter. The picture remembers what every control shows, so that a
// refresh draws only the controls whose value changed (control_refresh.h).

#include <cstdint>

#include "editor/artwork.h"
#include "editor/editor_layout.h"

// A rectangle of the panel: left, top, width, height.
struct PanelBox {
  int32_t x, y, width, height;
};

class PanelPicture {
 public:
  // Starts as the bare background, every control showing its parameter's default. Takes the
  // artwork over; empty() if it holds no pictures.
  explicit PanelPicture(Artwork artwork);

  bool empty() const { return panel.empty(); }
  const Picture& pixels() const { return panel; }

  // Draws every control for `values`, as the editor's full paint does.
  void paint(const float (&values)[kNumParams]);

  // Draws the controls whose value differs from what they show; answers which, one bit per
  // index of kControlLayout.
  uint32_t refresh(const float (&values)[kNumParams]);

  // Draws one control (an index of kControlLayout) for `value`. A switch whose value is
  // neither off nor on draws nothing, as on Windows, but remembers that state.
  void drawControl(int32_t control, float value);

  // What a control last drew: a knob's value, a switch's state.
  float shownKnobValue(int32_t control) const { return shownValue[control]; }
  int16_t shownSwitchState(int32_t control) const { return shownState[control]; }

  // Where a control draws: its image.
  static PanelBox controlBox(int32_t control);

 private:
  Artwork art;
  Picture panel;
  float shownValue[kNumControls];  // what each knob last drew
  int16_t shownState[kNumControls];  // what each switch last drew
};
