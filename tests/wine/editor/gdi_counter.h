#pragma once
// Counts what one module holds of the window system's drawing resources: the GDI objects it
// made and has not deleted (bitmaps, pens, memory device contexts) and the window device
// contexts it obtained and has not released. It routes the module's imports of the calls that
// make and free them through counting wrappers, so it sees exactly what the module does,
// whatever the rest of the process holds.

#include <windows.h>

namespace gdi_counter {

// Patches the module's import table; false when an import could not be found or patched.
bool install(HMODULE module);

// GDI objects made (CreatePen, LoadBitmapA, CreateCompatibleDC) and not deleted.
int liveObjects();
// Window device contexts taken (GetDC, BeginPaint) and not given back (ReleaseDC, EndPaint).
int heldDeviceContexts();
// Deletions and releases of handles that were never made or taken through the module.
int strayReleases();

}  // namespace gdi_counter
