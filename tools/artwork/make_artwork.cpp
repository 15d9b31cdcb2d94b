// Writes the editor's four pictures (editor/artwork.h) as 24-bit uncompressed BMP files, the
// form the Windows resource compiler embeds:
//   background.bmp 479 x 161, knob_face.bmp 32 x 32, switch_off.bmp and switch_on.bmp 22 x 23.
//
// Usage: make_artwork <output directory>; tools/artwork/CMakeLists.txt says how to redraw the
// committed bitmaps.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "editor/artwork.h"

namespace {

// 24-bit BI_RGB, rows bottom-up, each padded to a multiple of four bytes.
bool writeBmp(const Picture& picture, const std::string& path) {
  const int w = picture.width(), h = picture.height();
  const int rowBytes = (w * 3 + 3) & ~3;
  const uint32_t imageBytes = static_cast<uint32_t>(rowBytes * h);
  std::vector<uint8_t> file;
  auto u16 = [&](uint32_t v) {
    file.push_back(static_cast<uint8_t>(v));
    file.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  file.push_back('B');
  file.push_back('M');
  u32(14 + 40 + imageBytes);
  u32(0);
  u32(14 + 40);
  u32(40);
  u32(static_cast<uint32_t>(w));
  u32(static_cast<uint32_t>(h));
  u16(1);
  u16(24);
  u32(0);  // BI_RGB
  u32(imageBytes);
  u32(2835);  // 72 dots per inch
  u32(2835);
  u32(0);
  u32(0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t c = picture.at(x, y);
      file.push_back(static_cast<uint8_t>(c));
      file.push_back(static_cast<uint8_t>(c >> 8));
      file.push_back(static_cast<uint8_t>(c >> 16));
    }
    for (int pad = w * 3; pad < rowBytes; ++pad) file.push_back(0);
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  Artwork artwork;
  if (!drawArtwork(artwork)) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  }
  const bool ok = writeBmp(artwork.background, dir + "/background.bmp") &&
                  writeBmp(artwork.knobFace, dir + "/knob_face.bmp") &&
                  writeBmp(artwork.switchOff, dir + "/switch_off.bmp") &&
                  writeBmp(artwork.switchOn, dir + "/switch_on.bmp");
  if (!ok) {
    std::fprintf(stderr, "could not write the bitmaps into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
