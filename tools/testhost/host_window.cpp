#include "tools/testhost/host_window.h"

namespace testhost {

namespace {

constexpr const char* kClassName = "MulchvoiceTestHostWindow";

ATOM registerClass() {
  static ATOM atom = [] {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassA(&windowClass);
  }();
  return atom;
}

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

void dispatchPending() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace

HostWindow::HostWindow(const char* title, int clientWidth, int clientHeight) {
  if (registerClass() == 0) return;
  RECT frame = {0, 0, clientWidth, clientHeight};
  AdjustWindowRect(&frame, kStyle, FALSE);
  window_ = CreateWindowExA(0, kClassName, title, kStyle, 0, 0, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                            nullptr);
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

HostWindow::~HostWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  dispatchPending();
}

bool HostWindow::setClientSize(int width, int height) {
  RECT frame = {0, 0, width, height};
  AdjustWindowRect(&frame, kStyle, FALSE);
  return SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

void pumpMessages(int milliseconds) {
  pumpUntil([] { return false; }, milliseconds);
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    dispatchPending();
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (timeoutMs <= 0 || elapsed >= static_cast<DWORD>(timeoutMs)) return false;
    DWORD left = static_cast<DWORD>(timeoutMs) - elapsed;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, left < 10 ? left : 10, QS_ALLINPUT);
  }
}

}  // namespace testhost
