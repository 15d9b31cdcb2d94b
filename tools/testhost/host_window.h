#pragma once
// The top-level window a host opens for a plug-in's editor, and the message pump of the thread
// that owns it. Editor tests create a HostWindow, pass handle() to effEditOpen, and pump
// messages while they wait for painting or input to be handled.

#include <windows.h>

#include <functional>

namespace testhost {

class HostWindow {
 public:
  // Creates and shows a top-level window whose client area has the given size (it can be
  // resized later to the editor's rectangle with setClientSize). On failure handle() is null.
  HostWindow(const char* title, int clientWidth, int clientHeight);
  ~HostWindow();  // destroys the window (and with it every child window, the editor's too)

  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND handle() const { return window_; }
  bool setClientSize(int width, int height);

 private:
  HWND window_ = nullptr;
};

// Dispatches the calling thread's messages for `milliseconds`, then returns.
void pumpMessages(int milliseconds);

// Dispatches the calling thread's messages until `done()` is true or `timeoutMs` has passed;
// returns whether `done()` became true.
bool pumpUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace testhost
