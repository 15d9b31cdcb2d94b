#include "editor/editor_layout.h"

int32_t controlAt(int32_t x, int32_t y) {
  for (int32_t i = 0; i < kNumControls; ++i) {
    const ControlPlace& c = kControlLayout[i];
    if (x >= c.hitLeft && x <= c.hitRight && y >= c.hitTop && y <= c.hitBottom) return i;
  }
  return -1;
}
