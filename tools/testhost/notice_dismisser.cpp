#include "tools/testhost/notice_dismisser.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace testhost {

namespace {

thread_local NoticeDismisser* activeDismisser = nullptr;

constexpr int kMessageBoxTextId = 0xFFFF;

bool isDialogBox(HWND window) {
  char className[32] = {};
  GetClassNameA(window, className, sizeof className);
  return std::strcmp(className, "#32770") == 0;
}

std::string windowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  int copied = GetWindowTextA(window, &text[0], static_cast<int>(text.size()));
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM param) {
  char className[16] = {};
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Static") == 0) {
    std::string text = windowText(child);
    auto* out = reinterpret_cast<std::string*>(param);
    if (!text.empty()) {
      if (!out->empty()) out->push_back('\n');
      *out += text;
    }
  }
  return TRUE;
}

}  // namespace

Notice readDialogBox(HWND box) {
  Notice notice;
  notice.caption = windowText(box);
  if (HWND text = GetDlgItem(box, kMessageBoxTextId)) notice.text = windowText(text);
  if (notice.text.empty()) EnumChildWindows(box, collectStaticText, reinterpret_cast<LPARAM>(&notice.text));
  return notice;
}

NoticeDismisser::NoticeDismisser(Sink sink)
    : sink_(std::move(sink)),
      threadId_(GetCurrentThreadId()),
      previous_(activeDismisser),
      finished_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  activeDismisser = this;
  hook_ = SetWindowsHookExA(WH_CBT, cbtProc, nullptr, threadId_);
  watchdog_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
}

NoticeDismisser::~NoticeDismisser() {
  SetEvent(finished_);
  if (watchdog_ != nullptr) {
    WaitForSingleObject(watchdog_, INFINITE);
    CloseHandle(watchdog_);
  }
  CloseHandle(finished_);
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  activeDismisser = previous_;
}

LRESULT CALLBACK NoticeDismisser::cbtProc(int code, WPARAM wParam, LPARAM lParam) {
  NoticeDismisser* self = activeDismisser;
  if (code == HCBT_ACTIVATE && self != nullptr) {
    // Activation hooks can also see windows of other processes change; only this thread's
    // own boxes are answered.
    HWND window = reinterpret_cast<HWND>(wParam);
    if (GetWindowThreadProcessId(window, nullptr) == self->threadId_ && isDialogBox(window)) {
      self->answer(window);
    }
  }
  return CallNextHookEx(self != nullptr ? self->hook_ : nullptr, code, wParam, lParam);
}

// Reports a box once, then presses its OK button (posted: the box is still being activated).
void NoticeDismisser::answer(HWND box) {
  AcquireSRWLockExclusive(&lock_);
  const bool known = std::find(answered_.begin(), answered_.end(), box) != answered_.end();
  if (!known) answered_.push_back(box);
  ReleaseSRWLockExclusive(&lock_);
  if (known) return;
  sink_(readDialogBox(box));
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// A box the hook did not answer (or that ignored OK): report it and close it.
BOOL CALLBACK NoticeDismisser::closeMissedBox(HWND window, LPARAM param) {
  auto* self = reinterpret_cast<NoticeDismisser*>(param);
  if (isDialogBox(window) && IsWindowVisible(window)) {
    self->answer(window);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

DWORD WINAPI NoticeDismisser::watch(void* param) {
  constexpr DWORD kRecheckMs = 1000;
  auto* self = static_cast<NoticeDismisser*>(param);
  DWORD wait = kWatchdogGraceMs;
  while (WaitForSingleObject(self->finished_, wait) == WAIT_TIMEOUT) {
    EnumThreadWindows(self->threadId_, closeMissedBox, reinterpret_cast<LPARAM>(self));
    wait = kRecheckMs;
  }
  return 0;
}

}  // namespace testhost
