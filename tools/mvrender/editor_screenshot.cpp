#include "tools/mvrender/editor_screenshot.h"

#include <windows.h>

#include <vector>

#include "host/aeff_editor.h"
#include "tools/mvrender/file_system.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/png_writer.h"
#include "tools/testhost/window_capture.h"

namespace {

constexpr int kIdleCalls = 10;
constexpr int kIdleIntervalMs = 30;
constexpr int kLargestEditor = 4096;

// The editor's rectangle as the effect reports it; false when it reports none that fits a screen.
bool editorSize(AEffect* effect, int& width, int& height) {
  ERect* rect = nullptr;
  effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f);
  if (rect == nullptr) return false;
  width = rect->right - rect->left;
  height = rect->bottom - rect->top;
  return width > 0 && height > 0 && width <= kLargestEditor && height <= kLargestEditor;
}

}  // namespace

bool saveEditorScreenshot(AEffect* effect, const std::string& pngPath, std::string& error) {
  if ((effect->flags & effFlagsHasEditor) == 0) {
    error = "the effect has no editor (effFlagsHasEditor is not set): there is nothing to show";
    return false;
  }
  int width = 0, height = 0;
  const bool sizeKnown = editorSize(effect, width, height);
  testhost::HostWindow window("Mulchvoice", sizeKnown ? width : 320, sizeKnown ? height : 200);
  if (window.handle() == nullptr) {
    error = "cannot create a window for the editor";
    return false;
  }
  if (effect->dispatcher(effect, effEditOpen, 0, 0, window.handle(), 0.0f) == 0) {
    error = "the effect did not open its editor (effEditOpen answered 0)";
    return false;
  }
  // Some editors know their size only once open.
  if (editorSize(effect, width, height)) window.setClientSize(width, height);
  for (int i = 0; i < kIdleCalls; ++i) {
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    testhost::pumpMessages(kIdleIntervalMs);
  }
  RedrawWindow(window.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  testhost::pumpMessages(kIdleIntervalMs);
  GdiFlush();
  const testhost::Image image = testhost::captureWindow(window.handle());
  effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
  if (image.empty()) {
    error = "cannot read the editor's window back from the screen";
    return false;
  }
  const std::vector<uint8_t> png = testhost::encodePng(image);
  return writeFileReplacing(pngPath, png.data(), png.size(), error);
}
