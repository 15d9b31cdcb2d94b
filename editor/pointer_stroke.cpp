#include "editor/pointer_stroke.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t kHalfWidth = kKnobPointerWidth / 2;

struct Corner {
  int32_t x, y;
};

int32_t rounded(double v) { return static_cast<int32_t>(std::floor(v + 0.5)); }

void plot(Picture& picture, int32_t x, int32_t y, uint32_t colour) {
  if (x >= 0 && y >= 0 && x < picture.width() && y < picture.height()) picture.set(x, y, colour);
}

// The pixels whose top-left corners lie in the box [left, right) x [top, bottom).
void fillBox(Picture& picture, int32_t left, int32_t top, int32_t right, int32_t bottom,
             uint32_t colour) {
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = left; x < right; ++x) plot(picture, x, y, colour);
}

// Even-odd test of the corner point (x, y) against a four-sided band: an edge counts where it
// crosses the row at or right of the point, each edge's lower end taken as inside the row.
bool insideBand(const Corner (&band)[4], int32_t x, int32_t y) {
  bool inside = false;
  for (int i = 0; i < 4; ++i) {
    const Corner a = band[i], b = band[(i + 1) % 4];
    if ((a.y <= y) == (b.y <= y)) continue;
    const double crossing = a.x + static_cast<double>(y - a.y) * (b.x - a.x) / (b.y - a.y);
    if (x < crossing) inside = !inside;
  }
  return inside;
}

}  // namespace

void strokePointer(Picture& picture, const PointerLine& line, uint32_t colour) {
  const int32_t dx = line.toX - line.fromX, dy = line.toY - line.fromY;
  if (dy == 0) {
    fillBox(picture, std::min(line.fromX, line.toX), line.fromY - kHalfWidth,
            std::max(line.fromX, line.toX), line.fromY - kHalfWidth + kKnobPointerWidth, colour);
  } else if (dx == 0) {
    fillBox(picture, line.fromX - kHalfWidth, std::min(line.fromY, line.toY),
            line.fromX - kHalfWidth + kKnobPointerWidth, std::max(line.fromY, line.toY), colour);
  } else {
    // The band's reach either side of the line, across x and across y: one side half the
    // width, the other half a pixel more, each rounded to whole pixels.
    const double length = std::hypot(dx, dy);
    const double widthX = kKnobPointerWidth * std::abs(dy) / length;
    const double widthY = kKnobPointerWidth * std::abs(dx) / length;
    Corner narrow{rounded(widthX / 2), rounded(widthY / 2)};
    Corner wide{rounded((widthX + 1) / 2), rounded((widthY + 1) / 2)};
    if (dx < 0) {
      narrow.y = -narrow.y;
      wide.y = -wide.y;
    }
    if (dy < 0) {
      std::swap(narrow, wide);
      narrow.x = -narrow.x;
      wide.x = -wide.x;
    }
    const Corner band[4] = {{line.fromX - narrow.x, line.fromY + narrow.y},
                            {line.fromX + wide.x, line.fromY - wide.y},
                            {line.toX + wide.x, line.toY - wide.y},
                            {line.toX - narrow.x, line.toY + narrow.y}};
    int32_t left = band[0].x, right = band[0].x, top = band[0].y, bottom = band[0].y;
    for (const Corner& c : band) {
      left = std::min(left, c.x);
      right = std::max(right, c.x);
      top = std::min(top, c.y);
      bottom = std::max(bottom, c.y);
    }
    for (int32_t y = top; y <= bottom; ++y)
      for (int32_t x = left; x <= right; ++x)
        if (insideBand(band, x, y)) plot(picture, x, y, colour);
  }
  for (const Corner end : {Corner{line.fromX, line.fromY}, Corner{line.toX, line.toY}})
    fillBox(picture, end.x - kHalfWidth, end.y - kHalfWidth, end.x - kHalfWidth + kKnobPointerWidth,
            end.y - kHalfWidth + kKnobPointerWidth, colour);
}
