// Mouse input: presses posted to the window for the switch hit ranges, and real mouse input
// (the system's cursor and buttons, driven from a second thread while the window's thread is
// inside the knob's drag loop) for knob drags and double clicks.

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/parameters.h"
#include "tests/wine/editor/editor_session.h"

namespace {

void sendButtons(std::initializer_list<DWORD> flags) {
  std::vector<INPUT> inputs;
  for (DWORD f : flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = f;
    inputs.push_back(in);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

class EditorInput : public EditorTest {
 protected:
  // Presses the real left button at window point (x, y); once the window's thread has gone
  // quiet (it is inside a drag) or a few seconds have passed, moves the cursor through `path`
  // (window coordinates) from another thread and releases the button. Returns when the window
  // has handled everything.
  void realDrag(int x, int y, const std::vector<POINT>& path) {
    const POINT press = toScreen(x, y);
    SetCursorPos(press.x, press.y);
    testhost::pumpMessages(50);

    std::atomic<DWORD> lastPump{GetTickCount()};
    std::atomic<bool> pressed{false}, finished{false};
    std::vector<POINT> screenPath;
    for (const POINT& p : path) screenPath.push_back(toScreen(p.x, p.y));

    std::thread mover([&] {
      while (!pressed) Sleep(5);
      const DWORD start = GetTickCount();
      while (GetTickCount() - lastPump < 500 && GetTickCount() - start < 4000) Sleep(20);
      for (const POINT& p : screenPath) {
        SetCursorPos(p.x, p.y);
        Sleep(25);
      }
      Sleep(400);  // the drag loop takes in the last position
      sendButtons({MOUSEEVENTF_LEFTUP});
      finished = true;
    });
    sendButtons({MOUSEEVENTF_LEFTDOWN});
    pressed = true;
    const bool done = testhost::pumpUntil(
        [&] {
          lastPump = GetTickCount();
          return finished.load();
        },
        60000);
    mover.join();
    testhost::pumpMessages(100);
    EXPECT_TRUE(done) << "the drag did not end";
  }

  // A quarter turn about the centre (cx, cy) from the offset (dx, dy), y counted upwards;
  // clockwise when `clockwise`. The end point is exact, so that the turn is exactly 90 degrees.
  static std::vector<POINT> quarterTurn(int cx, int cy, int dx, int dy, bool clockwise) {
    std::vector<POINT> path;
    const double r = std::hypot(dx, dy);
    const double a0 = std::atan2(dy, dx);
    const double turn = clockwise ? -1.5707963 : 1.5707963;
    for (int i = 1; i < 24; ++i) {
      const double a = a0 + turn * i / 24.0;
      path.push_back({cx + static_cast<LONG>(std::lround(r * std::cos(a))),
                      cy - static_cast<LONG>(std::lround(r * std::sin(a)))});
    }
    const int ex = clockwise ? dy : -dy, ey = clockwise ? -dx : dx;
    path.push_back({cx + ex, cy - ey});
    return path;
  }
};

TEST_F(EditorInput, PressesOnTheSwitchHitRanges) {
  struct Press {
    int x, y;
    int toggles;  // the parameter that toggles, or -1
  };
  const Press presses[] = {
      {80, 97, 6},  {80, 96, -1}, {80, 115, 6},  {80, 116, -1}, {74, 100, 6},  {73, 100, -1},
      {95, 100, 6}, {96, 100, -1}, {276, 100, -1}, {277, 100, -1}, {278, 100, 7}, {299, 115, 7},
      {300, 100, -1}, {290, 96, -1}, {290, 116, -1}, {290, 97, 7},
  };
  for (const Press& p : presses) {
    const float before6 = parameter(kSwitchCS), before7 = parameter(kMulchIO);
    host.clearRecords();
    postPress(p.x, p.y);
    const auto automations = host.automations();
    if (p.toggles < 0) {
      EXPECT_EQ(parameter(kSwitchCS), before6) << "press at (" << p.x << ", " << p.y << ")";
      EXPECT_EQ(parameter(kMulchIO), before7) << "press at (" << p.x << ", " << p.y << ")";
      EXPECT_TRUE(automations.empty()) << "press at (" << p.x << ", " << p.y << ")";
    } else {
      const float before = p.toggles == 6 ? before6 : before7;
      const float expected = before == 1.0f ? 0.0f : 1.0f;
      EXPECT_EQ(parameter(p.toggles), expected) << "press at (" << p.x << ", " << p.y << ")";
      ASSERT_EQ(automations.size(), 1u) << "press at (" << p.x << ", " << p.y << ")";
      EXPECT_EQ(automations[0].index, p.toggles);
      EXPECT_EQ(automations[0].value, expected);
    }
  }
}

TEST_F(EditorInput, SwitchClickFromAHostValueBetween) {
  setParameter(kMulchIO, 0.7f);
  idle();
  postPress(285, 105);
  EXPECT_EQ(parameter(kMulchIO), 1.0f) << "0.7 shows unlit, so a click lights it";
  setParameter(kMulchIO, 2.0f);
  idle();
  host.clearRecords();
  postPress(285, 105);
  EXPECT_EQ(parameter(kMulchIO), 2.0f) << "a value that is neither off nor on is not toggled";
  EXPECT_TRUE(host.automations().empty());
}

TEST_F(EditorInput, DoubleClickTogglesTwice) {
  setParameter(kSwitchCS, 0.0f);
  idle();
  host.clearRecords();
  const POINT p = toScreen(85, 108);
  SetCursorPos(p.x, p.y);
  testhost::pumpMessages(50);
  sendButtons({MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
  testhost::pumpUntil([&] { return automationsOf(6).size() >= 2; }, 5000);
  testhost::pumpMessages(100);
  const auto toggles = automationsOf(6);
  ASSERT_EQ(toggles.size(), 2u) << "each click of a double click is a press of its own";
  EXPECT_EQ(toggles[0].value, 1.0f);
  EXPECT_EQ(toggles[1].value, 0.0f);
  EXPECT_EQ(parameter(kSwitchCS), 0.0f);
}

TEST_F(EditorInput, QuarterTurnClockwiseWithTheRealMouse) {
  setParameter(kCarrier, 0.2f);
  idle();
  host.clearRecords();
  // Press on the carrier knob up and left of its centre (60, 69), turn to up and right.
  realDrag(48, 57, quarterTurn(60, 69, -12, 12, true));
  EXPECT_NEAR(parameter(kCarrier) - 0.2f, 0.2941f, 2e-3);
  const auto automations = automationsOf(0);
  ASSERT_FALSE(automations.empty()) << "the host was not told";
  EXPECT_EQ(automations.back().value, parameter(kCarrier));
  // Every step lies between the start and the end. (Step by step the values need not rise:
  // Wine may report a cursor position it has already left once more while a warp settles.)
  for (const testhost::Automation& a : automations) {
    EXPECT_GE(a.value, 0.2f);
    EXPECT_LE(a.value, parameter(kCarrier));
  }
}

TEST_F(EditorInput, KnobHitRangeEdgesWithTheRealMouse) {
  struct Press {
    int x, y, param;  // param -1: the press must start no drag
    int cx, cy;       // the centre the cursor turns about
  };
  // The gain knob answers up to x 379, beyond its 32-pixel face; the carrier knob from (44, 52).
  const Press presses[] = {{379, 60, 5, 360, 69}, {380, 60, -1, 360, 69},
                           {44, 52, 0, 60, 69},   {43, 60, -1, 60, 69}};
  for (const Press& p : presses) {
    for (int i = 0; i < 6; ++i) setParameter(i, 0.8f);
    idle();
    host.clearRecords();
    realDrag(p.x, p.y, quarterTurn(p.cx, p.cy, p.x - p.cx, p.cy - p.y, false));
    for (int i = 0; i < 6; ++i) {
      if (i == p.param)
        EXPECT_NEAR(parameter(i), 0.8f - 0.2941f, 3e-3) << "press at (" << p.x << ", " << p.y << ")";
      else
        EXPECT_EQ(parameter(i), 0.8f) << "knob " << i << " after a press at (" << p.x << ", " << p.y << ")";
    }
    if (p.param < 0) {
      EXPECT_TRUE(host.automations().empty()) << "press at (" << p.x << ", " << p.y << ")";
    }
  }
}

TEST_F(EditorInput, PressWithoutMovementSetsNothing) {
  host.clearRecords();
  const testhost::Image before = capture();
  realDrag(300, 68, {});
  EXPECT_TRUE(host.automations().empty());
  EXPECT_TRUE(before.pixels == capture().pixels);
}

}  // namespace
