#include "editor/toggle_switch.h"

#include "editor/editor_layout.h"
#include "editor/switch_state.h"
#include "host/audio_effect.h"

ToggleSwitch::ToggleSwitch(AudioEffect* effect, HDC onImage, HDC offImage, int32_t x, int32_t y,
                           int32_t paramIndex)
    : state(kSwitchOff),
      effect(effect),
      onImage(onImage),
      offImage(offImage),
      paramIndex(paramIndex),
      x(x),
      y(y) {}

void ToggleSwitch::draw(HDC dc) {
  state = switchState(effect->getParameter(paramIndex));
  HDC source = state == kSwitchOn ? onImage : state == kSwitchOff ? offImage : nullptr;
  if (source != nullptr) BitBlt(dc, x, y, kSwitchWidth, kSwitchHeight, source, 0, 0, SRCCOPY);
}

void ToggleSwitch::click(HDC dc) {
  if (state == kSwitchOff) {
    effect->setParameterAutomated(paramIndex, 1.0f);
    state = kSwitchOn;
  } else if (state == kSwitchOn) {
    effect->setParameterAutomated(paramIndex, 0.0f);
    state = kSwitchOff;
  }
  draw(dc);
}

void ToggleSwitch::refresh(HDC dc) {
  const int16_t kept = state;
  state = switchState(effect->getParameter(paramIndex));
  if (state != kept) draw(dc);
}
