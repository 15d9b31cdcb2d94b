#include "tests/wine/editor/editor_session.h"

#include <string>

#include "tools/testhost/window_capture.h"

int32_t dispatch(AEffect* effect, int32_t opcode, int32_t index, int32_t value, void* ptr,
                 float opt) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

testhost::Image loadBitmapResource(HMODULE module, int id) {
  testhost::Image image;
  HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(id));
  if (bitmap == nullptr) return image;
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof request.bmiHeader;
  request.bmiHeader.biWidth = info.bmWidth;
  request.bmiHeader.biHeight = -info.bmHeight;  // rows from the top
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(),
                             &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  if (rows != info.bmHeight) return image;
  for (uint32_t& p : pixels) p &= 0xFFFFFFu;
  image.width = info.bmWidth;
  image.height = info.bmHeight;
  image.pixels = std::move(pixels);
  return image;
}

HWND findEditorWindow(HWND parent) {
  return FindWindowExA(parent, nullptr, kEditorClass, nullptr);
}

bool classRegistered(HMODULE module) {
  WNDCLASSA info{};
  return GetClassInfoA(module, kEditorClass, &info) != FALSE;
}

namespace {

int refreshes = 0;

LRESULT CALLBACK countRefreshes(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == kRefreshMessage) {
    char name[64] = {};
    GetClassNameA(sent->hwnd, name, sizeof name);
    if (std::string(name) == kEditorClass) ++refreshes;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

RefreshCounter::RefreshCounter()
    : hook(SetWindowsHookExA(WH_CALLWNDPROC, countRefreshes, nullptr, GetCurrentThreadId())) {
  refreshes = 0;
}
RefreshCounter::~RefreshCounter() {
  if (hook != nullptr) UnhookWindowsHookEx(hook);
}
int RefreshCounter::count() const { return refreshes; }

void EditorTest::SetUp() {
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  effect = host.instantiate();
  ASSERT_NE(effect, nullptr) << "main returned null";
  editor = openEditor(effect, &window);
  ASSERT_NE(editor, nullptr) << "effEditOpen made no editor window";
  host.clearRecords();
}

void EditorTest::TearDown() {
  if (effect != nullptr) dispatch(effect, effEditClose);
  window.reset();
  host.unload();
}

HWND EditorTest::openEditor(AEffect* target, std::unique_ptr<testhost::HostWindow>* hostWindow) {
  *hostWindow = std::make_unique<testhost::HostWindow>("Mulchvoice editor test", kPanelWidth,
                                                       kPanelHeight);
  HWND parent = (*hostWindow)->handle();
  if (parent == nullptr) return nullptr;
  if (dispatch(target, effEditOpen, 0, 0, parent) != 1) return nullptr;
  HWND child = findEditorWindow(parent);
  if (child != nullptr) UpdateWindow(child);
  testhost::pumpMessages(50);
  return child;
}

void EditorTest::idle() {
  dispatch(effect, effEditIdle);
  testhost::pumpMessages(20);
}

testhost::Image EditorTest::capture() const {
  GdiFlush();
  return testhost::captureWindow(editor);
}

void EditorTest::paintOver(COLORREF colour) const {
  HDC dc = GetDC(editor);
  HBRUSH brush = CreateSolidBrush(colour);
  RECT all{0, 0, kPanelWidth, kPanelHeight};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  ReleaseDC(editor, dc);
  GdiFlush();
}

void EditorTest::postPress(int x, int y) {
  PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  testhost::pumpMessages(30);
}

POINT EditorTest::toScreen(int x, int y) const {
  POINT p{x, y};
  ClientToScreen(editor, &p);
  return p;
}

std::vector<testhost::Automation> EditorTest::automationsOf(int index) const {
  std::vector<testhost::Automation> found;
  for (const testhost::Automation& a : host.automations())
    if (a.effect == effect && a.index == index) found.push_back(a);
  return found;
}
