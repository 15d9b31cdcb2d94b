#include "editor/win32/rotary_knob.h"

#include "editor/control_refresh.h"
#include "editor/editor_layout.h"
#include "editor/knob_drag.h"
#include "host/audio_effect.h"

namespace {

constexpr COLORREF kPointerColour =
    RGB(kKnobPointerColour >> 16 & 0xFF, kKnobPointerColour >> 8 & 0xFF, kKnobPointerColour & 0xFF);

// The real mouse: the cursor in screen coordinates and the buttons as they are now, not as
// the window's message queue last saw them (the drag does not pump messages).
class SystemPointer final : public PointerInput {
 public:
  ScreenPoint cursorPosition() override {
    POINT p{0, 0};
    GetCursorPos(&p);
    return {static_cast<int32_t>(p.x), static_cast<int32_t>(p.y)};
  }
  bool leftButtonDown() override { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }
  bool rightButtonDown() override { return (GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0; }
};

}  // namespace

RotaryKnob::RotaryKnob(AudioEffect* effect, HDC image, int32_t x, int32_t y, int32_t paramIndex)
    : image(image),
      effect(effect),
      centreX(x + kKnobCentreX),
      centreY(y + kKnobCentreY),
      x(x),
      y(y),
      paramIndex(paramIndex),
      shownValue(0.0f) {}

void RotaryKnob::draw(HDC dc) {
  shownValue = effect->getParameter(paramIndex);
  const PointerLine line = pointerLine(centreX, centreY, shownValue);

  // The face covers the whole pointer, so copying it erases the pointer drawn before.
  BitBlt(dc, x, y, kKnobFaceSize, kKnobFaceSize, image, 0, 0, SRCCOPY);

  HPEN pen = CreatePen(PS_SOLID, kKnobPointerWidth, kPointerColour);
  HGDIOBJ kept = SelectObject(dc, pen);
  MoveToEx(dc, line.fromX, line.fromY, nullptr);
  LineTo(dc, line.toX, line.toY);
  SelectObject(dc, kept);
  DeleteObject(pen);
}

void RotaryKnob::refresh(HDC dc) {
  const float kept = shownValue;
  shownValue = effect->getParameter(paramIndex);
  if (knobNeedsRedraw(kept, shownValue)) draw(dc);
}

void RotaryKnob::drag(HDC dc, int32_t windowLeft, int32_t windowTop) {
  // Each step: the nudged value becomes the shown one, goes to the effect and the host, and
  // is drawn (the draw reads the value back from the effect).
  class Target final : public KnobDragTarget {
   public:
    Target(RotaryKnob& knob, HDC dc) : knob(knob), dc(dc) {}
    float shownValue() override { return knob.shownValue; }
    void showDragValue(float value) override {
      knob.shownValue = value;
      knob.effect->setParameterAutomated(knob.paramIndex, value);
      knob.draw(dc);
    }

   private:
    RotaryKnob& knob;
    HDC dc;
  };

  Target target(*this, dc);
  SystemPointer pointer;
  followKnobDrag(pointer, target, centreX, centreY, windowLeft, windowTop);
}
