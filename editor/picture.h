#pragma once
// A picture of 8-bit RGB pixels, 0xRRGGBB, top row first, owning its memory. It is made once,
// when an editor is built: an allocation that fails leaves it empty, which its maker checks.

#include <cstdint>
#include <memory>
#include <new>

class Picture {
 public:
  Picture() = default;
  Picture(int32_t width, int32_t height)
      : w(width), h(height), pixels(new (std::nothrow) uint32_t[static_cast<size_t>(width) * height]) {
    if (pixels == nullptr) w = h = 0;
  }

  bool empty() const { return pixels == nullptr; }
  int32_t width() const { return w; }
  int32_t height() const { return h; }
  const uint32_t* data() const { return pixels.get(); }

  // (x, y) must lie inside the picture.
  uint32_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * w + x]; }
  void set(int32_t x, int32_t y, uint32_t rgb) { pixels[static_cast<size_t>(y) * w + x] = rgb; }

  // Copies all of `from` with its top-left corner at (x, y), which keeps it inside.
  void copy(const Picture& from, int32_t x, int32_t y) {
    for (int32_t j = 0; j < from.h; ++j)
      for (int32_t i = 0; i < from.w; ++i) set(x + i, y + j, from.at(i, j));
  }

 private:
  int32_t w = 0;
  int32_t h = 0;
  std::unique_ptr<uint32_t[]> pixels;
};
