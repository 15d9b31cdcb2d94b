#pragma once
// A picture in memory: 24-bit colour, rows from the top, one 0x00RRGGBB value per pixel.

#include <cstdint>
#include <vector>

namespace testhost {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height values, row by row from the top

  uint32_t pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool empty() const { return pixels.empty(); }
};

}  // namespace testhost
