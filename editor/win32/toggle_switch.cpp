#include "editor/win32/toggle_switch.h"

#include "editor/control_refresh.h"
#include "editor/editor_layout.h"
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
  float value = 0.0f;
  if (switchClickValue(state, value)) {
    effect->setParameterAutomated(paramIndex, value);
    state = switchState(value);
  }
  draw(dc);
}

void ToggleSwitch::refresh(HDC dc) {
  const float value = effect->getParameter(paramIndex);
  const bool redraw = switchNeedsRedraw(state, value);
  state = switchState(value);
  if (redraw) draw(dc);
}
