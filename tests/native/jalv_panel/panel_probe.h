#pragma once
// What panel_probe's parts share: a panel window's pixels, the core's picture for values (by
// parameter), the count of differing pixels (each also handed to `seen`), and the own host.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "editor/knob_drag.h"
#include "editor/panel_picture.h"

Picture grab(Display* display, Window window);
Picture corePicture(const float (&values)[kNumParams]);
int twoInstances(const char* uiModule);

template <class Seen = void (*)(int32_t, int32_t)>
int differingPixels(const Picture& a, const Picture& b, Seen seen = [](int32_t, int32_t) {}) {
  int differing = 0;
  for (int32_t y = 0; y < kEditorHeight; ++y)
    for (int32_t x = 0; x < kEditorWidth; ++x)
      if (a.at(x, y) != b.at(x, y)) seen(x, y), ++differing;
  return differing;
}
