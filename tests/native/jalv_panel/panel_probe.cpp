// Looks at the panel from outside; says what it found, exits 0 when it holds, 1 when not:
//   capture OUT.png [SYMBOL=VALUE...]  the one panel window on $DISPLAY is embedded, 479 x 161,
//       and shows the core's picture for those port values (others at their defaults): to OUT.png
//   compare WINDOWS.png LINUX.png      only pixels of knob pointers a pixel apart may differ
//   two-instances UI.so                two panels in a host of its own (two_instances.cpp)

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lv2/port_value.h"
#include "tests/native/jalv_panel/panel_probe.h"

namespace {

bool pointerNear(const Picture& p, int32_t x, int32_t y) {
  for (int32_t j = std::max(y - 1, 0); j <= std::min(y + 1, p.height() - 1); ++j)
    for (int32_t i = std::max(x - 1, 0); i <= std::min(x + 1, p.width() - 1); ++i)
      if (p.at(i, j) == kKnobPointerColour) return true;
  return false;
}

Window findPanel(Display* display, Window window) {
  Window found = 0, root, parent, *children = nullptr;
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) != 0) {
    if (std::strcmp(hint.res_class, "MulchvoiceClass") == 0) found = window;
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  unsigned int count = 0;
  if (found == 0 && XQueryTree(display, window, &root, &parent, &children, &count) != 0)
    for (unsigned int i = 0; i < count && found == 0; ++i) found = findPanel(display, children[i]);
  if (children != nullptr) XFree(children);
  return found;
}

int capture(int argc, char** argv) {
  float values[kNumParams];
  for (int32_t p = 0; p < kNumParams; ++p) values[p] = kParameterTable[p].defaultValue;
  for (int i = 3; i < argc; ++i) {
    const std::string setting = argv[i];
    int32_t p = 0;
    while (p < kNumParams && setting.substr(0, setting.find('=')) != kParameterTable[p].symbol) ++p;
    if (p == kNumParams) return std::fprintf(stderr, "panel_probe: bad setting %s\n", argv[i]), 2;
    values[p] = parameterValue(p, std::stof(setting.substr(setting.find('=') + 1)));
  }
  Display* display = XOpenDisplay(nullptr);
  const Window panel = display ? findPanel(display, DefaultRootWindow(display)) : 0;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  XWindowAttributes a{};
  if (panel == 0 || !XGetWindowAttributes(display, panel, &a) ||
      !XQueryTree(display, panel, &root, &parent, &children, &count))
    return std::fprintf(stderr, "panel_probe: no panel window on the display\n"), 1;
  if (children != nullptr) XFree(children);
  std::printf("panel window: %dx%d, %s, %s\n", a.width, a.height,
              a.map_state == IsViewable ? "viewable" : "NOT VIEWABLE",
              parent == root ? "NOT EMBEDDED (a top-level window)" : "embedded");
  if (a.width != kEditorWidth || a.height != kEditorHeight || a.map_state != IsViewable || parent == root)
    return 1;
  const Picture shown = grab(display, panel);
  std::vector<uint32_t> rgba(shown.data(), shown.data() + kEditorWidth * kEditorHeight);
  for (uint32_t& p : rgba) p = 0xFF000000 | (p & 0xFF) << 16 | (p & 0xFF00) | p >> 16;  // R, G, B, A bytes
  if (!stbi_write_png(argv[2], kEditorWidth, kEditorHeight, 4, rgba.data(), kEditorWidth * 4))
    return std::fprintf(stderr, "panel_probe: cannot write %s\n", argv[2]), 1;
  const int differing = differingPixels(shown, corePicture(values));
  std::printf("%d pixels differ from the editor core's picture\n", differing);
  return differing == 0 ? 0 : 1;
}

Picture readPng(const char* path) {
  int w = 0, h = 0, channels = 0;
  unsigned char* data = stbi_load(path, &w, &h, &channels, 3);
  Picture picture(data != nullptr ? w : 0, data != nullptr ? h : 0);
  for (int i = 0; data != nullptr && i < w * h; ++i)
    picture.set(i % w, i / w, static_cast<uint32_t>(data[3 * i]) << 16 | data[3 * i + 1] << 8 | data[3 * i + 2]);
  stbi_image_free(data);
  return picture;
}

int compare(const char* windowsPath, const char* linuxPath) {
  const Picture a = readPng(windowsPath), b = readPng(linuxPath);
  if (a.width() != kEditorWidth || b.width() != kEditorWidth || a.height() != b.height())
    return std::fprintf(stderr, "panel_probe: cannot read two panels from the files\n"), 1;
  int alongPointers = 0;
  const int differing = differingPixels(a, b, [&](int32_t x, int32_t y) {
    const int32_t control = controlAt(x, y);  // a knob face, or the gain knob's wider hit range
    alongPointers += control >= 0 && kControlLayout[control].kind() == ParameterKind::kContinuous &&
                     ((a.at(x, y) == kKnobPointerColour && pointerNear(b, x, y)) ||
                      (b.at(x, y) == kKnobPointerColour && pointerNear(a, x, y)));
  });
  std::printf("%d pixels differ, %d of them where the pointer lines lie a pixel apart\n",
              differing, alongPointers);
  return differing == alongPointers ? 0 : 1;
}

}  // namespace

Picture grab(Display* display, Window window) {
  Picture picture(kEditorWidth, kEditorHeight);
  XImage* image = XGetImage(display, window, 0, 0, kEditorWidth, kEditorHeight, AllPlanes, ZPixmap);
  for (int32_t y = 0; image != nullptr && y < kEditorHeight; ++y)
    for (int32_t x = 0; x < kEditorWidth; ++x)  // a 24-bit true-colour screen: 0xRRGGBB
      picture.set(x, y, static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
  if (image != nullptr) XDestroyImage(image);
  return picture;
}

Picture corePicture(const float (&values)[kNumParams]) {
  Artwork artwork;
  drawArtwork(artwork);
  PanelPicture panel(std::move(artwork));
  panel.paint(values);
  Picture copy(kEditorWidth, kEditorHeight);
  copy.copy(panel.pixels(), 0, 0);
  return copy;
}

int main(int argc, char** argv) {
  const std::string command = argc > 2 ? argv[1] : "";
  if (command == "capture") return capture(argc, argv);
  if (command == "compare" && argc == 4) return compare(argv[2], argv[3]);
  if (command == "two-instances" && argc == 3) return twoInstances(argv[2]);
  std::fprintf(stderr, "usage: panel_probe capture OUT.png [SYMBOL=VALUE...] | compare A.png B.png"
                       " | two-instances UI.so\n");
  return 2;
}
