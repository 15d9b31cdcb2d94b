// The committed bitmaps, as the resource compiler takes them: 24-bit uncompressed, of the
// sizes the editor copies, and consistent with one another, since the editor copies the knob
// face over the panel to erase an old pointer and the panel carries the unlit switches.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "editor/editor_layout.h"

namespace {

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, top row first
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

uint32_t u32(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
uint16_t u16(const std::vector<uint8_t>& d, size_t at) {
  return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

// Reads a bottom-up 24-bit BI_RGB file; fails the test on anything else.
Bitmap load(const std::string& name) {
  Bitmap b;
  const std::string path = std::string(MULCHVOICE_SOURCE_DIR) + "/editor/bitmaps/" + name;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return b;
  }
  std::vector<uint8_t> d;
  for (int c; (c = std::fgetc(f)) != EOF;) d.push_back(static_cast<uint8_t>(c));
  std::fclose(f);
  if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') {
    ADD_FAILURE() << name << " is not a bitmap file";
    return b;
  }
  EXPECT_EQ(u32(d, 14), 40u) << name << ": plain information header";
  EXPECT_EQ(u16(d, 28), 24u) << name << ": 24 bits per pixel";
  EXPECT_EQ(u32(d, 30), 0u) << name << ": uncompressed";
  const int32_t height = static_cast<int32_t>(u32(d, 22));
  EXPECT_GT(height, 0) << name << ": rows stored bottom-up";
  b.width = static_cast<int>(u32(d, 18));
  b.height = height;
  const size_t offset = u32(d, 10);
  const size_t rowBytes = (static_cast<size_t>(b.width) * 3 + 3) & ~size_t{3};
  if (height <= 0 || offset + rowBytes * static_cast<size_t>(b.height) > d.size()) {
    ADD_FAILURE() << name << " is truncated";
    b.width = b.height = 0;
    return b;
  }
  for (int y = 0; y < b.height; ++y) {
    const size_t row = offset + rowBytes * static_cast<size_t>(b.height - 1 - y);
    for (int x = 0; x < b.width; ++x) {
      const size_t p = row + static_cast<size_t>(x) * 3;
      b.pixels.push_back(static_cast<uint32_t>(d[p + 2]) << 16 | d[p + 1] << 8 | d[p]);
    }
  }
  return b;
}

constexpr uint32_t kPointerColour = 0x969696;

TEST(Artwork, SizesAndFormat) {
  const Bitmap background = load("background.bmp");
  EXPECT_EQ(background.width, kEditorWidth);
  EXPECT_EQ(background.height, kEditorHeight);
  const Bitmap knob = load("knob_face.bmp");
  EXPECT_EQ(knob.width, kKnobFaceSize);
  EXPECT_EQ(knob.height, kKnobFaceSize);
  for (const char* name : {"switch_off.bmp", "switch_on.bmp"}) {
    const Bitmap s = load(name);
    EXPECT_EQ(s.width, kSwitchWidth) << name;
    EXPECT_EQ(s.height, kSwitchHeight) << name;
  }
}

TEST(Artwork, PanelCarriesTheKnobFacesAndUnlitSwitches) {
  const Bitmap background = load("background.bmp");
  const Bitmap knob = load("knob_face.bmp");
  const Bitmap off = load("switch_off.bmp");
  const Bitmap on = load("switch_on.bmp");
  ASSERT_EQ(background.width, kEditorWidth);
  ASSERT_EQ(knob.width, kKnobFaceSize);
  ASSERT_EQ(off.width, kSwitchWidth);
  ASSERT_EQ(on.width, kSwitchWidth);
  for (const ControlPlace& place : kControlLayout) {
    const bool isKnob = place.kind() == ParameterKind::kContinuous;
    const Bitmap& image = isKnob ? knob : off;
    int differing = 0;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x)
        if (background.at(place.imageX + x, place.imageY + y) != image.at(x, y)) ++differing;
    EXPECT_EQ(differing, 0) << "the panel under parameter " << place.paramIndex
                            << " differs from the control's image";
  }
  int sameAsOff = 0;
  for (size_t i = 0; i < on.pixels.size(); ++i) sameAsOff += on.pixels[i] == off.pixels[i];
  EXPECT_LT(sameAsOff, static_cast<int>(on.pixels.size()) / 4) << "lit and unlit look alike";
}

TEST(Artwork, PointerColourAppearsNowhere) {
  // The pointer is the only thing drawn in 150, 150, 150, so that a look at the screen can
  // tell it from the artwork.
  for (const char* name : {"background.bmp", "knob_face.bmp"}) {
    const Bitmap b = load(name);
    int count = 0;
    for (uint32_t p : b.pixels) count += p == kPointerColour;
    EXPECT_EQ(count, 0) << name;
  }
}

}  // namespace
