#pragma once
// Answers the dialog boxes a thread opens, the way an automated host must: while a
// NoticeDismisser lives on a thread, every dialog box that thread activates is read (caption and
// text), reported and answered with OK. A watchdog thread closes any box the hook missed after
// a grace period, so a call that shows a box always comes back.

#include <windows.h>

#include <functional>
#include <vector>

#include "tools/testhost/plugin_host.h"

namespace testhost {

class NoticeDismisser {
 public:
  using Sink = std::function<void(const Notice&)>;

  // Installs the hook on the calling thread. `sink` may be called from the watchdog thread.
  explicit NoticeDismisser(Sink sink);
  ~NoticeDismisser();

  NoticeDismisser(const NoticeDismisser&) = delete;
  NoticeDismisser& operator=(const NoticeDismisser&) = delete;

  static constexpr DWORD kWatchdogGraceMs = 10000;

 private:
  static LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam);
  static BOOL CALLBACK closeMissedBox(HWND window, LPARAM param);
  void answer(HWND box);
  static DWORD WINAPI watch(void* self);

  Sink sink_;
  DWORD threadId_;
  HHOOK hook_ = nullptr;
  NoticeDismisser* previous_ = nullptr;

  // Windows' own thread, lock and event rather than std::thread and std::mutex: MinGW's threads
  // library now and then keeps a handle of those after they are gone (a std::mutex that was
  // ever contended, for one), which the handle counts of the tests would see as a leak of the
  // plug-in.
  SRWLOCK lock_ = SRWLOCK_INIT;
  HANDLE finished_;
  std::vector<HWND> answered_;
  HANDLE watchdog_;
};

// Caption and text of a dialog box (a message box keeps its text in control 0xFFFF).
Notice readDialogBox(HWND box);

}  // namespace testhost
