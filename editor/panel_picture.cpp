#include "editor/panel_picture.h"

#include <utility>

#include "editor/control_refresh.h"
#include "editor/knob_drag.h"
#include "editor/pointer_stroke.h"

PanelPicture::PanelPicture(Artwork artwork)
    : art(std::move(artwork)), panel(), shownValue(), shownState() {
  if (art.background.empty() || art.knobFace.empty() || art.switchOff.empty() ||
      art.switchOn.empty())
    return;
  panel = Picture(kEditorWidth, kEditorHeight);
  if (panel.empty()) return;
  panel.copy(art.background, 0, 0);
  float defaults[kNumParams];
  for (int32_t p = 0; p < kNumParams; ++p) defaults[p] = kParameterTable[p].defaultValue;
  paint(defaults);
}

PanelBox PanelPicture::controlBox(int32_t control) {
  const ControlPlace& place = kControlLayout[control];
  if (place.kind() == ParameterKind::kContinuous)
    return {place.imageX, place.imageY, kKnobFaceSize, kKnobFaceSize};
  return {place.imageX, place.imageY, kSwitchWidth, kSwitchHeight};
}

void PanelPicture::paint(const float (&values)[kNumParams]) {
  if (empty()) return;
  panel.copy(art.background, 0, 0);
  for (int32_t i = 0; i < kNumControls; ++i) drawControl(i, values[kControlLayout[i].paramIndex]);
}

uint32_t PanelPicture::refresh(const float (&values)[kNumParams]) {
  uint32_t drawn = 0;
  for (int32_t i = 0; i < kNumControls; ++i) {
    const ControlPlace& place = kControlLayout[i];
    const float value = values[place.paramIndex];
    const bool changed = place.kind() == ParameterKind::kContinuous
                             ? knobNeedsRedraw(shownValue[i], value)
                             : switchNeedsRedraw(shownState[i], value);
    if (!changed) continue;
    drawControl(i, value);
    drawn |= 1u << i;
  }
  return drawn;
}

void PanelPicture::drawControl(int32_t control, float value) {
  if (empty()) return;
  const ControlPlace& place = kControlLayout[control];
  if (place.kind() == ParameterKind::kContinuous) {
    // The face covers the whole pointer, so copying it erases the pointer drawn before.
    shownValue[control] = value;
    panel.copy(art.knobFace, place.imageX, place.imageY);
    strokePointer(panel,
                  pointerLine(place.imageX + kKnobCentreX, place.imageY + kKnobCentreY, value),
                  kKnobPointerColour);
    return;
  }
  shownState[control] = switchState(value);
  if (shownState[control] == kSwitchOn) panel.copy(art.switchOn, place.imageX, place.imageY);
  if (shownState[control] == kSwitchOff) panel.copy(art.switchOff, place.imageX, place.imageY);
}
