// Which control a press reaches: every edge of the hit ranges, including the places where the
// ranges and the images differ (the wide gain knob, the switch rows, the second switch's
// left edge).

#include <gtest/gtest.h>

#include "editor/editor_layout.h"

namespace {

int32_t paramAt(int32_t x, int32_t y) {
  const int32_t i = controlAt(x, y);
  return i < 0 ? -1 : kControlLayout[i].paramIndex;
}

TEST(HitTesting, KnobEdges) {
  EXPECT_EQ(paramAt(44, 52), kCarrier) << "top-left corner of the carrier knob";
  EXPECT_EQ(paramAt(75, 83), kCarrier);
  EXPECT_EQ(paramAt(43, 60), -1);
  EXPECT_EQ(paramAt(44, 84), -1);
  EXPECT_EQ(paramAt(44, 51), -1);
  EXPECT_EQ(paramAt(76, 60), -1);
  for (int32_t k = 0; k < 6; ++k) {
    EXPECT_EQ(paramAt(44 + 60 * k + 16, 69), k) << "centre of knob " << k;
    EXPECT_EQ(paramAt(44 + 60 * k - 1, 69), -1) << "left of knob " << k;
  }
  EXPECT_EQ(paramAt(379, 60), kGain) << "the gain knob answers 36 pixels wide";
  EXPECT_EQ(paramAt(376, 60), kGain);
  EXPECT_EQ(paramAt(380, 60), -1);
  EXPECT_EQ(paramAt(135, 60), kSpeech);
  EXPECT_EQ(paramAt(136, 60), -1) << "only the gain knob is wider than its face";
}

TEST(HitTesting, SwitchEdges) {
  EXPECT_EQ(paramAt(80, 97), kSwitchCS) << "one row above the first switch's image";
  EXPECT_EQ(paramAt(80, 96), -1);
  EXPECT_EQ(paramAt(80, 115), kSwitchCS);
  EXPECT_EQ(paramAt(80, 116), -1) << "on the image, below the hit rows";
  EXPECT_EQ(paramAt(74, 100), kSwitchCS);
  EXPECT_EQ(paramAt(73, 100), -1);
  EXPECT_EQ(paramAt(95, 100), kSwitchCS);
  EXPECT_EQ(paramAt(96, 100), -1);

  EXPECT_EQ(paramAt(276, 100), -1) << "the second switch's image starts left of its hit range";
  EXPECT_EQ(paramAt(277, 100), -1);
  EXPECT_EQ(paramAt(278, 100), kMulchIO);
  EXPECT_EQ(paramAt(299, 100), kMulchIO);
  EXPECT_EQ(paramAt(300, 100), -1);
  EXPECT_EQ(paramAt(290, 97), kMulchIO);
  EXPECT_EQ(paramAt(290, 96), -1);
  EXPECT_EQ(paramAt(290, 115), kMulchIO);
  EXPECT_EQ(paramAt(290, 116), -1);
}

TEST(HitTesting, BarePanelAndOutside) {
  for (int32_t y = -5; y < kEditorHeight + 5; y += 7) EXPECT_EQ(paramAt(430, y), -1);
  EXPECT_EQ(paramAt(-1, -1), -1);
  EXPECT_EQ(paramAt(-32768, 32767), -1);
}

TEST(HitTesting, TableIsSound) {
  // Each parameter once, every range inside the window and no two ranges overlapping, so one
  // press reaches at most one control.
  bool seen[kNumControls] = {};
  for (int32_t i = 0; i < kNumControls; ++i) {
    const ControlPlace& a = kControlLayout[i];
    ASSERT_TRUE(a.paramIndex >= 0 && a.paramIndex < kNumControls);
    EXPECT_FALSE(seen[a.paramIndex]);
    seen[a.paramIndex] = true;
    EXPECT_EQ(a.kind(), a.paramIndex < 6 ? ParameterKind::kContinuous : ParameterKind::kSwitch);
    EXPECT_TRUE(a.hitLeft >= 0 && a.hitRight < kEditorWidth && a.hitTop >= 0 &&
                a.hitBottom < kEditorHeight);
    for (int32_t j = i + 1; j < kNumControls; ++j) {
      const ControlPlace& b = kControlLayout[j];
      const bool apart = a.hitRight < b.hitLeft || b.hitRight < a.hitLeft ||
                         a.hitBottom < b.hitTop || b.hitBottom < a.hitTop;
      EXPECT_TRUE(apart) << "controls " << i << " and " << j;
    }
  }
}

}  // namespace
