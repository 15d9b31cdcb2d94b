#include "editor/win32/vocoder_editor.h"

#include <new>

#include "editor/win32/resource_ids.h"
#include "editor/win32/rotary_knob.h"
#include "editor/win32/toggle_switch.h"
#include "host/audio_effect.h"
#include "host/dll_entry.h"
#include "host/out_of_memory.h"

namespace {

constexpr const char* kWindowClassName = "MulchvoiceClass";
constexpr const char* kWindowTitle = "Window";

// Shared by every editor in the process: the size handed to hosts, and how many opens are not
// yet matched by a close, so that the window class is registered by the first open and
// unregistered by the last close. Only the host's user-interface thread touches the count.
ERect editorRect = {0, 0, static_cast<int16_t>(kEditorHeight), static_cast<int16_t>(kEditorWidth)};
int32_t windowClassUseCount = 0;

}  // namespace

VocoderEditor::VocoderEditor(AudioEffect* effect)
    : AEffEditor(effect), window(nullptr), images(), controls(), openCount(0) {
  // In the order of the image slots: background, knob face, switch lit, switch unlit.
  constexpr WORD kResources[kNumImages] = {IDB_BACKGROUND, IDB_KNOB_FACE, IDB_SWITCH_ON,
                                           IDB_SWITCH_OFF};
  for (int32_t i = 0; i < kNumImages; ++i) {
    images[i].bitmap = LoadBitmapA(hInstance, MAKEINTRESOURCEA(kResources[i]));
    images[i].dc = CreateCompatibleDC(nullptr);
    if (images[i].dc != nullptr && images[i].bitmap != nullptr)
      SelectObject(images[i].dc, images[i].bitmap);
  }

  // Without its background the editor cannot paint at all; a control that could not be made
  // would be called later. Either way the instance is refused rather than half built.
  if (images[kBackground].bitmap == nullptr || images[kBackground].dc == nullptr ||
      !buildControls()) {
    outOfMemory = true;
    return;
  }
  effect->setEditor(this);
}

bool VocoderEditor::buildControls() {
  for (int32_t i = 0; i < kNumControls; ++i) {
    const ControlPlace& place = kControlLayout[i];
    if (place.kind() == ParameterKind::kContinuous) {
      controls[i].knob = new (std::nothrow) RotaryKnob(effect, images[kKnobFace].dc, place.imageX,
                                                       place.imageY, place.paramIndex);
      if (controls[i].knob == nullptr) return false;
    } else {
      controls[i].toggle =
          new (std::nothrow) ToggleSwitch(effect, images[kSwitchOn].dc, images[kSwitchOff].dc,
                                          place.imageX, place.imageY, place.paramIndex);
      if (controls[i].toggle == nullptr) return false;
    }
  }
  return true;
}

// The window must not outlive the editor its user data points to: an editor destroyed while
// still open closes first, which also keeps the shared class count balanced.
VocoderEditor::~VocoderEditor() {
  while (openCount > 0) close();
  destroyWindow();
  // Each context goes before its bitmap, so the bitmap is no longer selected when deleted.
  for (Image& image : images) {
    if (image.dc != nullptr) DeleteDC(image.dc);
    if (image.bitmap != nullptr) DeleteObject(image.bitmap);
  }
  for (Control& control : controls) {
    delete control.knob;
    delete control.toggle;
  }
}

// The host's user-interface thread, from idle: redraws at once, on the window's thread.
void VocoderEditor::update() {
  if (window != nullptr) SendMessageA(window, WM_EDITOR_REFRESH, 1, 0);
}

int32_t VocoderEditor::getRect(ERect** rect) {
  *rect = &editorRect;
  return 1;
}

int32_t VocoderEditor::open(void* parent) {
  AEffEditor::open(parent);
  ++openCount;
  if (++windowClassUseCount == 1) {
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = editorWindowProc;
    windowClass.hInstance = hInstance;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClassName;
    // Fails harmlessly when an earlier open's class is still registered: that one serves.
    RegisterClassA(&windowClass);
  }

  destroyWindow();  // opened again without a close: one window per editor
  HWND created = CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_CHILD | WS_VISIBLE, 0, 0,
                                 kEditorWidth, kEditorHeight, static_cast<HWND>(parent), nullptr,
                                 hInstance, nullptr);
  // The messages sent during creation find no editor yet and go to the default procedure;
  // painting and mouse input arrive later, through the queue.
  if (created != nullptr)
    SetWindowLongPtrA(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  window = created;
  return 1;
}

void VocoderEditor::close() {
  if (openCount == 0) return;  // a close without an open must not unbalance the shared count
  --openCount;
  destroyWindow();
  if (--windowClassUseCount == 0) UnregisterClassA(kWindowClassName, hInstance);
}

void VocoderEditor::destroyWindow() {
  if (window == nullptr) return;
  HWND gone = window;
  window = nullptr;
  // The host may already have destroyed the parent, and the handle may since name another
  // window: only a window that still points at this editor is ours to destroy.
  if (IsWindow(gone) &&
      GetWindowLongPtrA(gone, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
    SetWindowLongPtrA(gone, GWLP_USERDATA, 0);
    DestroyWindow(gone);
  }
}

void VocoderEditor::paint(HDC dc) {
  BitBlt(dc, 0, 0, kEditorWidth, kEditorHeight, images[kBackground].dc, 0, 0, SRCCOPY);
  for (Control& control : controls) {
    if (control.knob != nullptr) control.knob->draw(dc);
    if (control.toggle != nullptr) control.toggle->draw(dc);
  }
}

void VocoderEditor::refresh(HDC dc) {
  for (Control& control : controls) {
    if (control.knob != nullptr) control.knob->refresh(dc);
    if (control.toggle != nullptr) control.toggle->refresh(dc);
  }
}

void VocoderEditor::mouseDown(HDC dc, int32_t x, int32_t y, int32_t windowLeft, int32_t windowTop) {
  const int32_t index = controlAt(x, y);
  if (index < 0) return;
  Control& control = controls[index];
  if (control.toggle != nullptr) control.toggle->click(dc);
  if (control.knob != nullptr) control.knob->drag(dc, windowLeft, windowTop);
}

// The window's thread. Every device context is released in the handler that obtained it.
LRESULT CALLBACK VocoderEditor::editorWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  auto* editor = reinterpret_cast<VocoderEditor*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (editor == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);

  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      editor->paint(dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      HDC dc = GetDC(hwnd);
      RECT rect{};
      GetWindowRect(hwnd, &rect);
      const int32_t x = static_cast<int16_t>(LOWORD(lParam));
      const int32_t y = static_cast<int16_t>(HIWORD(lParam));
      editor->mouseDown(dc, x, y, rect.left, rect.top);
      ReleaseDC(hwnd, dc);
      return 0;
    }
    case WM_EDITOR_REFRESH: {
      HDC dc = GetDC(hwnd);
      editor->refresh(dc);
      ReleaseDC(hwnd, dc);
      return 0;
    }
    case WM_NCDESTROY:
      // Destroyed with the host's parent window: the editor forgets it, so a later refresh
      // or close does not reach for a window that is gone.
      if (editor->window == hwnd) editor->window = nullptr;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      break;
    default: break;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}
