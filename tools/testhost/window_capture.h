#pragma once
// Screenshots of a window as the screen shows it (the window must be visible and uncovered).

#include <windows.h>

#include "tools/testhost/image.h"

namespace testhost {

// The client area of `window`; an empty image when it cannot be read.
Image captureWindow(HWND window);

}  // namespace testhost
