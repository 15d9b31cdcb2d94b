#include "editor/knob_drag.h"

#include <cmath>

namespace {

constexpr double kRight = 0.0;
constexpr double kUp = 1.5708;
constexpr double kLeft = 3.1416;
constexpr double kFullTurn = 6.2832;
constexpr float kHalfTurn = 3.1416f;

int32_t truncated(double v) { return static_cast<int32_t>(v); }

}  // namespace

PointerLine pointerLine(int32_t centreX, int32_t centreY, float value) {
  if (!std::isfinite(value)) value = 0.0f;
  const float a = kKnobStartAngle - value * (kKnobStartAngle - kKnobEndAngle);
  double c = std::cos(static_cast<double>(a));
  double s = std::sin(static_cast<double>(a));
  if (!std::isfinite(c) || !std::isfinite(s)) {  // a value so large the angle overflowed
    c = std::cos(static_cast<double>(kKnobStartAngle));
    s = std::sin(static_cast<double>(kKnobStartAngle));
  }
  return {truncated(centreX + c), truncated(centreY - s),
          truncated(centreX + kKnobPointerLength * c), truncated(centreY - kKnobPointerLength * s)};
}

float cursorAngle(int32_t dx, int32_t dy) {
  if (dx == 0) {
    if (dy > 0) return static_cast<float>(kUp);
    if (dy < 0) return static_cast<float>(-kUp);
    return static_cast<float>(kRight);
  }
  if (dy == 0) return static_cast<float>(dx > 0 ? kRight : kLeft);

  const double x = dx;
  const double y = dy;
  const float r = static_cast<float>(std::sqrt(x * x + y * y));
  float s = static_cast<float>(dy) / r;
  if (s > 1.0f) s = 1.0f;
  if (s < -1.0f) s = -1.0f;
  const double a = std::asin(static_cast<double>(s));
  if (dx > 0) return static_cast<float>(dy > 0 ? a : a + kFullTurn);
  return static_cast<float>(kLeft - a);
}

float dragDelta(float previousAngle, float angle) {
  const float delta = previousAngle - angle;
  if (delta > kHalfTurn || delta < -kHalfTurn) return 0.0f;
  return delta;
}

float nudgedValue(float value, float delta) {
  const float v = value + kKnobDragScale * delta;
  if (v >= 1.0f) return 1.0f;
  if (!(v >= 0.0f)) return 0.0f;
  return v;
}

KnobTurn::KnobTurn(int32_t dx, int32_t dy)
    : previousDx(dx), previousDy(dy), previousAngle(cursorAngle(dx, dy)) {}

bool KnobTurn::step(int32_t dx, int32_t dy, float shown, float& value) {
  if (dx == previousDx && dy == previousDy) return false;
  const float angle = cursorAngle(dx, dy);
  value = nudgedValue(shown, dragDelta(previousAngle, angle));
  previousAngle = angle;
  previousDx = dx;
  previousDy = dy;
  return true;
}

// The editor window's thread, inside its handling of a left-button press. Polls without
// waiting until both buttons are up; allocates nothing.
void followKnobDrag(PointerInput& pointer, KnobDragTarget& knob, int32_t centreX, int32_t centreY,
                    int32_t windowLeft, int32_t windowTop) {
  ScreenPoint p = pointer.cursorPosition();
  KnobTurn turn(p.x - windowLeft - centreX, windowTop + centreY - p.y);
  while (pointer.leftButtonDown() || pointer.rightButtonDown()) {
    p = pointer.cursorPosition();
    float value = 0.0f;
    if (turn.step(p.x - windowLeft - centreX, windowTop + centreY - p.y, knob.shownValue(), value))
      knob.showDragValue(value);
  }
}
