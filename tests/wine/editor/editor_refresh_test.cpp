// Changes made by the host show on the next idle call, and only where they changed something:
// the editor is painted over behind its back first, so the screen shows exactly what the idle
// call drew.

#include "engine/parameters.h"
#include "tests/wine/editor/editor_session.h"

namespace {

constexpr uint32_t kMagenta = 0xFF00FF;
constexpr COLORREF kMagentaRef = RGB(255, 0, 255);

using EditorRefresh = EditorTest;

// Counts the pixels inside and outside a box that are not the colour painted over.
struct Drawn {
  int inside = 0, outside = 0;
};
Drawn drawnSince(const testhost::Image& shot, int x0, int y0, int w, int h) {
  Drawn d;
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      if (shot.pixel(x, y) == kMagenta) continue;
      const bool in = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
      ++(in ? d.inside : d.outside);
    }
  return d;
}

TEST_F(EditorRefresh, HostChangeOfOneKnobRedrawsOnlyThatKnob) {
  paintOver(kMagentaRef);
  setParameter(kMorph, parameter(kMorph) == 0.25f ? 0.75f : 0.25f);
  EXPECT_EQ(drawnSince(capture(), 0, 0, 0, 0).outside, 0) << "the change itself drew something";
  RefreshCounter refreshes;
  idle();
  EXPECT_EQ(refreshes.count(), 1);
  const Drawn d = drawnSince(capture(), 224, 52, 32, 32);
  EXPECT_EQ(d.inside, 32 * 32) << "the morph knob's face is redrawn whole";
  EXPECT_EQ(d.outside, 0) << "something beside the morph knob was redrawn";
}

TEST_F(EditorRefresh, HostChangeOfASwitchRedrawsOnlyThatSwitch) {
  paintOver(kMagentaRef);
  setParameter(kSwitchCS, 1.0f);
  idle();
  const Drawn d = drawnSince(capture(), 74, 98, 22, 23);
  EXPECT_EQ(d.inside, 22 * 23);
  EXPECT_EQ(d.outside, 0);
}

TEST_F(EditorRefresh, IdleDrawsNothingWhenNothingChanged) {
  paintOver(kMagentaRef);
  RefreshCounter refreshes;
  idle();
  idle();
  EXPECT_EQ(refreshes.count(), 0) << "no change was posted";
  // A value set again unchanged, or changed within what a switch shows, posts a refresh that
  // finds nothing to draw.
  setParameter(kSpeech, parameter(kSpeech));
  setParameter(kSwitchCS, 0.2f);
  setParameter(kSwitchCS, 0.6f);
  idle();
  EXPECT_EQ(refreshes.count(), 1);
  EXPECT_EQ(drawnSince(capture(), 0, 0, 0, 0).outside, 0);
}

TEST_F(EditorRefresh, SeveralChangesMakeOneRefresh) {
  RefreshCounter refreshes;
  setParameter(kCarrier, 0.1f);
  setParameter(kFilter, 0.2f);
  setParameter(kFreq, 0.3f);
  idle();
  EXPECT_EQ(refreshes.count(), 1);
  idle();
  EXPECT_EQ(refreshes.count(), 1) << "the second idle call found nothing pending";
}

TEST_F(EditorRefresh, ProgramChangeRedrawsWhatDiffers) {
  // Program 1 starts equal to program 0; change one value in it, then switch programs.
  dispatch(effect, effSetProgram, 0, 1);
  setParameter(kGain, 0.9f);
  idle();
  dispatch(effect, effSetProgram, 0, 0);
  paintOver(kMagentaRef);
  idle();
  const Drawn d = drawnSince(capture(), 344, 52, 32, 32);
  EXPECT_EQ(d.inside, 32 * 32) << "the gain knob shows program 0 again";
  EXPECT_EQ(d.outside, 0);
}

}  // namespace
