// What the editor shows, read back from the screen: the panel with every control drawn, the
// knob pointer for the ends and the middle of its sweep, the switch lit only at exactly 1.0.

#include <cmath>
#include <cstdio>

#include "engine/parameters.h"
#include "tests/wine/editor/editor_session.h"
#include "tools/testhost/png_writer.h"

namespace {

// The panel as it must look: the background with each switch's image for its value. The knob
// faces are part of the background; their pointers are checked separately.
testhost::Image expectedPanel(HMODULE module, float switch6, float switch7) {
  testhost::Image panel = loadBitmapResource(module, 101);
  const testhost::Image off = loadBitmapResource(module, 104);
  const testhost::Image on = loadBitmapResource(module, 105);
  if (panel.empty() || off.empty() || on.empty()) return {};
  const float values[2] = {switch6, switch7};
  for (int s = 0; s < 2; ++s) {
    const testhost::Image& image = values[s] == 1.0f ? on : off;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x)
        panel.pixels[static_cast<size_t>(kSwitches[s].y + y) * panel.width + kSwitches[s].x + x] =
            image.pixel(x, y);
  }
  return panel;
}

bool insideKnobFace(int x, int y) {
  for (const KnobPlace& k : kKnobs)
    if (x >= k.x && x < k.x + 32 && y >= k.y && y < k.y + 32) return true;
  return false;
}

double distanceToSegment(double px, double py, double x0, double y0, double x1, double y1) {
  const double dx = x1 - x0, dy = y1 - y0;
  double t = ((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy);
  t = t < 0 ? 0 : t > 1 ? 1 : t;
  return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

using EditorPainting = EditorTest;

TEST_F(EditorPainting, FirstPaintIsThePanelWithItsControls) {
  const testhost::Image shot = capture();
  ASSERT_EQ(shot.width, kPanelWidth);
  ASSERT_EQ(shot.height, kPanelHeight);
  const testhost::Image expected = expectedPanel(host.module(), parameter(kSwitchCS), parameter(kMulchIO));
  ASSERT_FALSE(expected.empty()) << "the bitmap resources are missing";

  int wrongOutsideKnobs = 0, wrongOnKnobs = 0;
  int pointerPixels[6] = {};
  for (int y = 0; y < kPanelHeight; ++y)
    for (int x = 0; x < kPanelWidth; ++x) {
      if (shot.pixel(x, y) == expected.pixel(x, y)) continue;
      if (!insideKnobFace(x, y)) {
        ++wrongOutsideKnobs;
      } else if (shot.pixel(x, y) != kPointerColour) {
        ++wrongOnKnobs;
      } else {
        for (int k = 0; k < 6; ++k)
          if (x >= kKnobs[k].x && x < kKnobs[k].x + 32 && y >= kKnobs[k].y && y < kKnobs[k].y + 32)
            ++pointerPixels[k];
      }
    }
  EXPECT_EQ(wrongOutsideKnobs, 0) << "pixels off the knobs differ from the panel and switches";
  EXPECT_EQ(wrongOnKnobs, 0) << "knob pixels that are neither face nor pointer";
  for (int k = 0; k < 6; ++k) EXPECT_GE(pointerPixels[k], 10) << "knob " << k << " has no pointer";

  // The picture of the editor for the documentation.
  testhost::writePng("editor.png", shot);
}

TEST_F(EditorPainting, PointerForTheEndsAndTheMiddle) {
  struct Case {
    float value;
    int x0, y0, x1, y1;
  };
  const Case cases[] = {{0.0f, 59, 69, 55, 78}, {0.5f, 60, 68, 60, 58}, {1.0f, 60, 69, 64, 78}};
  for (const Case& c : cases) {
    setParameter(kCarrier, c.value);
    idle();
    const testhost::Image shot = capture();
    ASSERT_FALSE(shot.empty());
    const testhost::Image face = loadBitmapResource(host.module(), 102);
    ASSERT_EQ(face.width, 32);
    int onLine = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const uint32_t p = shot.pixel(44 + x, 52 + y);
        const double d = distanceToSegment(44 + x, 52 + y, c.x0, c.y0, c.x1, c.y1);
        if (p == kPointerColour) {
          EXPECT_LE(d, 2.0) << "pointer colour off the line at (" << 44 + x << ", " << 52 + y
                            << ") for value " << c.value;
          ++onLine;
        } else {
          EXPECT_EQ(p, face.pixel(x, y)) << "at (" << 44 + x << ", " << 52 + y << ") for value "
                                         << c.value;
        }
      }
    // The line is drawn all along, from near the centre to its tip.
    for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
      const int px = static_cast<int>(std::lround(c.x0 + t * (c.x1 - c.x0)));
      const int py = static_cast<int>(std::lround(c.y0 + t * (c.y1 - c.y0)));
      bool found = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) found |= shot.pixel(px + dx, py + dy) == kPointerColour;
      EXPECT_TRUE(found) << "no pointer near (" << px << ", " << py << ") for value " << c.value;
    }
    EXPECT_GE(onLine, 10) << "value " << c.value;
  }
}

TEST_F(EditorPainting, SwitchLitOnlyAtExactlyOne) {
  const testhost::Image on = loadBitmapResource(host.module(), 105);
  const testhost::Image off = loadBitmapResource(host.module(), 104);
  ASSERT_FALSE(on.empty());
  ASSERT_FALSE(off.empty());
  auto shows = [&](const testhost::Image& shot, const SwitchPlace& s, const testhost::Image& image) {
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x)
        if (shot.pixel(s.x + x, s.y + y) != image.pixel(x, y)) return false;
    return true;
  };
  for (const SwitchPlace& s : kSwitches) {
    setParameter(s.param, 1.0f);
    idle();
    EXPECT_TRUE(shows(capture(), s, on)) << "parameter " << s.param << " at 1.0";
    setParameter(s.param, 0.999f);
    idle();
    EXPECT_TRUE(shows(capture(), s, off)) << "parameter " << s.param << " at 0.999";
    setParameter(s.param, 1.0f);
    idle();
    EXPECT_TRUE(shows(capture(), s, on)) << "parameter " << s.param << " back at 1.0";
  }
}

TEST_F(EditorPainting, RepaintAfterBeingCoveredRestoresEverything) {
  const testhost::Image before = capture();
  paintOver(RGB(255, 0, 255));
  InvalidateRect(editor, nullptr, TRUE);
  UpdateWindow(editor);
  const testhost::Image after = capture();
  EXPECT_TRUE(before.pixels == after.pixels);
}

}  // namespace
