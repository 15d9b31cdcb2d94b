#pragma once
// The arithmetic of a rotary knob, free of any window system: where its pointer is drawn for a
// value, the angle of the cursor about its centre, and the drag that turns the value by the
// angle the cursor turns. A face that gets the cursor as events steps a KnobTurn; the Windows
// editor's modal loop reads the mouse through PointerInput, so that it runs the same against
// the real mouse and against a scripted one.
//
// Angles are in radians, counter-clockwise positive, with y pointing up; screen y points down,
// so every formula turns it over. The pointer sweeps 5.34055 radians (about 306 degrees)
// clockwise through the top: value 0 points to the lower left, 0.5 straight up, 1 to the lower
// right, and the gap at the bottom is never pointed into.

#include <cstdint>

constexpr float kKnobStartAngle = 4.241025f;   // pointer angle at value 0
constexpr float kKnobEndAngle = -1.099525f;    // pointer angle at value 1
constexpr float kKnobDragScale = 0.187246636f; // value per radian: 1 / (start - end)
constexpr int32_t kKnobPointerLength = 11;     // outer radius of the pointer line
constexpr int32_t kKnobCentreX = 16;           // pointer centre inside the 32 by 32 face
constexpr int32_t kKnobCentreY = 17;
constexpr uint32_t kKnobPointerColour = 0x969696;  // 0xRRGGBB; no artwork pixel has it
constexpr int32_t kKnobPointerWidth = 2;           // pixels

// The pointer as a line from radius 1 to radius 11, in the coordinates of the centre given.
// A value that is not a number (or infinite) is drawn as 0.
struct PointerLine {
  int32_t fromX, fromY;
  int32_t toX, toY;
};
PointerLine pointerLine(int32_t centreX, int32_t centreY, float value);

// The cursor's angle for an offset (dx, dy) from the centre, dy counted upwards: 0 to 6.2832
// counter-clockwise from the direction pointing right, except straight below the centre,
// which gives -1.5708. The centre itself gives 0. The constants are the four-digit ones, not
// multiples of pi, so that the seam and the step rules below meet exactly.
float cursorAngle(int32_t dx, int32_t dy);

// The change of value for one step of the cursor from `previousAngle` to `angle`. A step of
// more than 3.1416 either way has jumped across the seam of the angle table (the direction
// pointing right, or the vertical below the centre): it moves nothing.
float dragDelta(float previousAngle, float angle);

// The value moved by `delta` radians of cursor turn, held to 0..1. A value that is not a
// number comes out as 0.
float nudgedValue(float value, float delta);

// One drag, step by step. Offsets (dx, dy) are the cursor's from the knob centre, dy counted
// upwards.
class KnobTurn {
 public:
  // The cursor where the drag starts.
  KnobTurn(int32_t dx, int32_t dy);

  // The cursor while a button is held. False when it has not moved since the last step: then
  // nothing happens. Otherwise one step: `value` becomes `shown` moved by the cursor's turn.
  bool step(int32_t dx, int32_t dy, float shown, float& value);

 private:
  int32_t previousDx;
  int32_t previousDy;
  float previousAngle;
};

// Where the drag reads the mouse. Screen coordinates; the drag goes on while either button is
// held. Production reads the real cursor and buttons, tests script them.
struct ScreenPoint {
  int32_t x;
  int32_t y;
};

class PointerInput {
 public:
  virtual ScreenPoint cursorPosition() = 0;
  virtual bool leftButtonDown() = 0;
  virtual bool rightButtonDown() = 0;

 protected:
  ~PointerInput() = default;
};

// The knob as the drag sees it.
class KnobDragTarget {
 public:
  virtual float shownValue() = 0;
  // Shows `value`: stores it, hands it to the effect (which tells the host) and redraws.
  virtual void showDragValue(float value) = 0;

 protected:
  ~KnobDragTarget() = default;
};

// Follows the mouse until both buttons are up. `centreX`, `centreY` are the knob's centre in
// window coordinates and (`windowLeft`, `windowTop`) the window's top-left corner on the
// screen. Every move of the cursor is one step: its angle change nudges the value, which is
// then shown; a poll in which the cursor has not moved does nothing but read the mouse.
void followKnobDrag(PointerInput& pointer, KnobDragTarget& knob, int32_t centreX, int32_t centreY,
                    int32_t windowLeft, int32_t windowTop);
