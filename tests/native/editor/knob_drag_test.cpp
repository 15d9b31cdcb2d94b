// The knob's arithmetic: the cursor angle table, the pointer line, and whole drags against a
// scripted mouse (cursor positions and button states, one frame per poll of the buttons).

#include "editor/knob_drag.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(CursorAngle, EveryRowOfTheTable) {
  // dx > 0, dy > 0: asin(s)
  EXPECT_NEAR(cursorAngle(3, 4), std::asin(0.8), 1e-6);
  // dx > 0, dy < 0: asin(s) + 6.2832
  EXPECT_NEAR(cursorAngle(3, -4), std::asin(-0.8) + 6.2832, 1e-6);
  // dx < 0, dy != 0: 3.1416 - asin(s)
  EXPECT_NEAR(cursorAngle(-3, 4), 3.1416 - std::asin(0.8), 1e-6);
  EXPECT_NEAR(cursorAngle(-3, -4), 3.1416 + std::asin(0.8), 1e-6);
  // the axes take the four-digit constants exactly
  EXPECT_EQ(cursorAngle(7, 0), 0.0f);
  EXPECT_EQ(cursorAngle(-7, 0), 3.1416f);
  EXPECT_EQ(cursorAngle(0, 7), 1.5708f);
  EXPECT_EQ(cursorAngle(0, -7), -1.5708f) << "straight below the centre is -1.5708, not 4.7124";
  EXPECT_EQ(cursorAngle(0, 0), 0.0f);
}

TEST(CursorAngle, FollowsTheDirectionAllAround) {
  // Apart from the vertical below the centre, the angle is the direction counter-clockwise
  // from the right, in 0 to 2 pi (the four-digit constants allow a little slack).
  for (int dy = -60; dy <= 60; ++dy)
    for (int dx = -60; dx <= 60; ++dx) {
      if (dx == 0 && dy <= 0) continue;
      double expected = std::atan2(dy, dx);
      if (expected < 0) expected += 6.283185307179586;
      const float angle = cursorAngle(dx, dy);
      ASSERT_NEAR(angle, expected, 2e-4) << "offset (" << dx << ", " << dy << ")";
    }
}

TEST(PointerLine, EndsAndMiddleOfTheSweep) {
  // The knob whose face is at (44, 52) turns about (60, 69).
  const PointerLine zero = pointerLine(60, 69, 0.0f);
  EXPECT_EQ(zero.fromX, 59);
  EXPECT_EQ(zero.fromY, 69);
  EXPECT_EQ(zero.toX, 55);
  EXPECT_EQ(zero.toY, 78);
  const PointerLine half = pointerLine(60, 69, 0.5f);
  EXPECT_EQ(half.fromX, 60);
  EXPECT_EQ(half.fromY, 68);
  EXPECT_EQ(half.toX, 60);
  EXPECT_EQ(half.toY, 58);
  const PointerLine one = pointerLine(60, 69, 1.0f);
  EXPECT_EQ(one.fromX, 60);
  EXPECT_EQ(one.fromY, 69);
  EXPECT_EQ(one.toX, 64);
  EXPECT_EQ(one.toY, 78);
}

TEST(PointerLine, StaysOnTheFaceForAnyValue) {
  // Copying the face must erase any pointer, so every pointer lies inside the 32 x 32 face
  // (with a pixel to spare for the pen's width), whatever the host has set.
  const float odd[] = {-1e30f, -3.0f, 1.5f, 7.25f, 1e30f, NAN, INFINITY, -INFINITY};
  std::vector<float> values(std::begin(odd), std::end(odd));
  for (int i = 0; i <= 1000; ++i) values.push_back(i / 1000.0f);
  for (float v : values) {
    const PointerLine l = pointerLine(60, 69, v);
    for (int x : {l.fromX, l.toX}) ASSERT_TRUE(x >= 45 && x <= 74) << "value " << v;
    for (int y : {l.fromY, l.toY}) ASSERT_TRUE(y >= 53 && y <= 82) << "value " << v;
  }
  const PointerLine nan = pointerLine(60, 69, NAN);
  const PointerLine zero = pointerLine(60, 69, 0.0f);
  EXPECT_EQ(nan.toX, zero.toX);
  EXPECT_EQ(nan.toY, zero.toY);
}

TEST(Nudge, MovesByTheAngleAndHoldsTheEnds) {
  EXPECT_NEAR(nudgedValue(0.5f, 1.0f), 0.5f + 0.187246636f, 1e-7);
  EXPECT_NEAR(nudgedValue(0.5f, -1.0f), 0.5f - 0.187246636f, 1e-7);
  EXPECT_NEAR(nudgedValue(0.0f, 5.34055f), 1.0f, 1e-5) << "a full sweep goes from 0 to 1";
  EXPECT_EQ(nudgedValue(0.9f, 1.0f), 1.0f);
  EXPECT_EQ(nudgedValue(0.1f, -1.0f), 0.0f);
  EXPECT_EQ(nudgedValue(1.0f, 0.0f), 1.0f);
  EXPECT_EQ(nudgedValue(NAN, 0.1f), 0.0f) << "a value that is not a number must not reach the effect";
  EXPECT_EQ(nudgedValue(5.0f, -0.1f), 1.0f);
}

TEST(DragDelta, DiscardsJumpsAcrossTheSeam) {
  EXPECT_NEAR(dragDelta(0.5f, 0.4f), 0.1f, 1e-6);
  EXPECT_EQ(dragDelta(0.05f, 6.23f), 0.0f);
  EXPECT_EQ(dragDelta(6.23f, 0.05f), 0.0f);
  EXPECT_EQ(dragDelta(4.66f, -1.5708f), 0.0f);
  EXPECT_EQ(dragDelta(-1.5708f, 4.76f), 0.0f);
  EXPECT_NEAR(dragDelta(3.0f, 0.0f), 3.0f, 1e-6) << "a large but lawful step counts";
}

// ---- whole drags ----------------------------------------------------------------------------

struct Frame {
  int x, y;
  bool left, right;
};

// Replays one frame per poll of the buttons; the drag's first read of the cursor (the press)
// sees frame 0. When the script runs out the buttons read as released.
class ScriptedPointer final : public PointerInput {
 public:
  explicit ScriptedPointer(std::vector<Frame> frames) : frames(std::move(frames)) {}
  ScreenPoint cursorPosition() override { return {current().x, current().y}; }
  bool leftButtonDown() override {
    ++index;
    return current().left;
  }
  bool rightButtonDown() override { return current().right; }
  bool ranOut() const { return index >= frames.size(); }

 private:
  Frame current() const { return index < frames.size() ? frames[index] : Frame{0, 0, false, false}; }
  std::vector<Frame> frames;
  size_t index = 0;
};

// Stands for the knob and the effect: records each value shown (set, automated and drawn).
class RecordingKnob final : public KnobDragTarget {
 public:
  explicit RecordingKnob(float value) : value(value) {}
  float shownValue() override { return value; }
  void showDragValue(float v) override {
    value = v;
    shown.push_back(v);
  }
  float value;
  std::vector<float> shown;
};

// The window's top-left corner on the screen and the knob centre in window coordinates.
constexpr int kWindowLeft = 300, kWindowTop = 200;
constexpr int kCentreX = 60, kCentreY = 69;

// The screen point at `radius` pixels from the knob centre in direction `angle` (y up).
Frame at(double angle, double radius, bool left = true, bool right = false) {
  return {kWindowLeft + kCentreX + static_cast<int>(std::lround(radius * std::cos(angle))),
          kWindowTop + kCentreY - static_cast<int>(std::lround(radius * std::sin(angle))), left,
          right};
}
Frame offset(int dx, int dy, bool left = true, bool right = false) {
  return {kWindowLeft + kCentreX + dx, kWindowTop + kCentreY - dy, left, right};
}
Frame released(const Frame& f) { return {f.x, f.y, false, false}; }

// The angle the drag sees for a frame, and the value change for turning from one frame to
// another (the frames are rounded to pixels, so the turn is taken from them).
float angleOf(const Frame& f) {
  return cursorAngle(f.x - kWindowLeft - kCentreX, kWindowTop + kCentreY - f.y);
}
float turnValue(const Frame& from, const Frame& to) {
  return (angleOf(from) - angleOf(to)) * kKnobDragScale;
}

float drag(RecordingKnob& knob, ScriptedPointer& pointer) {
  followKnobDrag(pointer, knob, kCentreX, kCentreY, kWindowLeft, kWindowTop);
  EXPECT_FALSE(pointer.ranOut()) << "the drag must end when the buttons are released";
  return knob.value;
}

TEST(KnobDrag, QuarterTurnClockwiseRaisesTheValue) {
  std::vector<Frame> frames;
  for (int step = 0; step <= 20; ++step) frames.push_back(at(1.5708 * (1.0 - step / 20.0), 100));
  frames.push_back(released(frames.back()));
  ScriptedPointer pointer(frames);
  RecordingKnob knob(0.3f);
  EXPECT_NEAR(drag(knob, pointer) - 0.3f, 0.2941f, 2e-4);
  EXPECT_EQ(knob.shown.size(), 20u) << "every move of the cursor is one step";
}

TEST(KnobDrag, CounterClockwiseLowersTheValue) {
  std::vector<Frame> frames;
  for (int step = 0; step <= 10; ++step) frames.push_back(at(0.3 + 1.5708 * step / 10.0, 80));
  frames.push_back(released(frames.back()));
  ScriptedPointer pointer(frames);
  RecordingKnob knob(0.6f);
  EXPECT_NEAR(drag(knob, pointer), 0.6f + turnValue(frames.front(), frames.back()), 1e-5);
  EXPECT_NEAR(turnValue(frames.front(), frames.back()), -0.2941f, 3e-3);
}

TEST(KnobDrag, TurnsByTheAngleNotTheDistance) {
  // The same quarter turn close to the centre and far from it moves the value alike.
  for (double radius : {6.0, 40.0, 400.0}) {
    std::vector<Frame> frames{at(3.1416, radius), at(3.1416 - 0.7854, radius), at(1.5708, radius)};
    frames.push_back(released(frames.back()));
    ScriptedPointer pointer(frames);
    RecordingKnob knob(0.2f);
    EXPECT_NEAR(drag(knob, pointer), 0.2f + 0.2941f, 1e-4) << "radius " << radius;
  }
}

TEST(KnobDrag, StepAcrossTheSeamMovesNothingButStillShows) {
  // Right of the centre the angle jumps between about 0.05 and 6.23.
  ScriptedPointer pointer({offset(100, 5), offset(100, -5), offset(100, -15), released(offset(100, -15))});
  RecordingKnob knob(0.4f);
  drag(knob, pointer);
  ASSERT_EQ(knob.shown.size(), 2u);
  EXPECT_EQ(knob.shown[0], 0.4f) << "the jump moves nothing, yet the value is set and drawn";
  EXPECT_NEAR(knob.shown[1], 0.4f + (cursorAngle(100, -5) - cursorAngle(100, -15)) * 0.187246636f, 1e-6)
      << "the step after the jump counts";
  EXPECT_GT(knob.shown[1], 0.4f);
}

TEST(KnobDrag, StepsOntoAndOffTheVerticalBelowAreDiscarded) {
  ScriptedPointer pointer({offset(-5, -100), offset(0, -100), offset(5, -100), offset(10, -100),
                           released(offset(10, -100))});
  RecordingKnob knob(0.5f);
  drag(knob, pointer);
  ASSERT_EQ(knob.shown.size(), 3u);
  EXPECT_EQ(knob.shown[0], 0.5f) << "onto the vertical";
  EXPECT_EQ(knob.shown[1], 0.5f) << "off the vertical";
  EXPECT_LT(knob.shown[2], 0.5f) << "moving on, rightwards below the centre turns counter-clockwise";
}

TEST(KnobDrag, HoldsAtOneAndTurnsBackAtOnce) {
  std::vector<Frame> frames;
  for (int step = 0; step <= 8; ++step) frames.push_back(at(2.5 - 0.25 * step, 60));  // clockwise
  frames.push_back(at(0.5 + 0.25, 60));                                              // back
  frames.push_back(released(frames.back()));
  ScriptedPointer pointer(frames);
  RecordingKnob knob(0.95f);
  drag(knob, pointer);
  ASSERT_EQ(knob.shown.size(), 9u);
  EXPECT_EQ(knob.shown[1], 1.0f);
  EXPECT_EQ(knob.shown[7], 1.0f) << "turning on past 1 keeps sending 1";
  EXPECT_NEAR(knob.shown[8], 1.0f + turnValue(frames[8], frames[9]), 1e-6)
      << "turning back lowers at once";
  EXPECT_LT(knob.shown[8], 0.96f);
}

TEST(KnobDrag, HoldsAtZeroAndTurnsBackAtOnce) {
  std::vector<Frame> frames;
  for (int step = 0; step <= 6; ++step) frames.push_back(at(0.5 + 0.3 * step, 60));  // anticlockwise
  frames.push_back(at(0.5 + 0.3 * 5, 60));                                          // back
  frames.push_back(released(frames.back()));
  ScriptedPointer pointer(frames);
  RecordingKnob knob(0.1f);
  drag(knob, pointer);
  ASSERT_EQ(knob.shown.size(), 7u);
  EXPECT_EQ(knob.shown[5], 0.0f);
  EXPECT_NEAR(knob.shown[6], turnValue(frames[6], frames[7]), 1e-6);
  EXPECT_GT(knob.shown[6], 0.04f);
}

TEST(KnobDrag, RightButtonKeepsTheDragGoingAfterTheLeftIsReleased) {
  const std::vector<Frame> frames{at(1.5708, 50, true, false), at(1.2, 50, true, false),
                                  at(1.0, 50, true, true),     at(0.8, 50, false, true),
                                  at(0.6, 50, false, true),    released(at(0.6, 50))};
  ScriptedPointer pointer(frames);
  RecordingKnob knob(0.0f);
  drag(knob, pointer);
  EXPECT_EQ(knob.shown.size(), 4u) << "the steps made with only the right button held count";
  EXPECT_NEAR(knob.value, turnValue(frames[0], frames[4]), 1e-6);
}

TEST(KnobDrag, PressWithoutMovementSetsNothing) {
  const Frame still = at(2.0, 30);
  ScriptedPointer pointer({still, still, still, still, released(still)});
  RecordingKnob knob(0.25f);
  drag(knob, pointer);
  EXPECT_TRUE(knob.shown.empty());
}

TEST(KnobDrag, PollsWithoutMovementAreNoSteps) {
  ScriptedPointer pointer({at(1.5, 50), at(1.5, 50), at(1.3, 50), at(1.3, 50), at(1.3, 50),
                           at(1.1, 50), released(at(1.1, 50))});
  RecordingKnob knob(0.5f);
  drag(knob, pointer);
  EXPECT_EQ(knob.shown.size(), 2u);
}

TEST(KnobDrag, ReleaseBeforeAnyMoveEndsAtOnce) {
  ScriptedPointer pointer({at(1.0, 50), released(at(0.2, 50))});
  RecordingKnob knob(0.5f);
  drag(knob, pointer);
  EXPECT_TRUE(knob.shown.empty()) << "a move seen only after the release is not followed";
}

}  // namespace
