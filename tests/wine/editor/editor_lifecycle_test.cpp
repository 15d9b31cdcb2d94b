// The editor's life in a host: its size and flag, the window class shared by every editor in
// the process, the child window that goes with each open and close, and drawing resources that
// do not pile up over many opens.

#include "engine/parameters.h"
#include "host/aeff_editor.h"
#include "tests/wine/editor/editor_session.h"
#include "tests/wine/editor/gdi_counter.h"

namespace {

class EditorLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  }

  // Opens the editor in a new host window; returns the editor window (null when none).
  static HWND open(AEffect* effect, std::unique_ptr<testhost::HostWindow>* hostWindow) {
    *hostWindow = std::make_unique<testhost::HostWindow>("Mulchvoice lifecycle test", kPanelWidth,
                                                         kPanelHeight);
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, (*hostWindow)->handle()), 1);
    HWND editor = findEditorWindow((*hostWindow)->handle());
    if (editor != nullptr) UpdateWindow(editor);
    testhost::pumpMessages(20);
    return editor;
  }

  testhost::PluginHost host;
};

TEST_F(EditorLifecycle, SizeAndFlags) {
  AEffect* a = host.instantiate();
  AEffect* b = host.instantiate();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->flags, 17) << "editor and replacing processing";
  ERect* rectA = nullptr;
  ERect* rectB = nullptr;
  EXPECT_EQ(dispatch(a, effEditGetRect, 0, 0, &rectA), 1);
  EXPECT_EQ(dispatch(b, effEditGetRect, 0, 0, &rectB), 1);
  ASSERT_NE(rectA, nullptr);
  EXPECT_EQ(rectA->top, 0);
  EXPECT_EQ(rectA->left, 0);
  EXPECT_EQ(rectA->bottom, 161);
  EXPECT_EQ(rectA->right, 479);
  EXPECT_EQ(rectA, rectB) << "every instance hands out the same rectangle";
}

TEST_F(EditorLifecycle, ChildWindowOfTheHostWindow) {
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);
  std::unique_ptr<testhost::HostWindow> window;
  HWND editor = open(effect, &window);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(GetParent(editor), window->handle());
  const LONG style = GetWindowLongA(editor, GWL_STYLE);
  EXPECT_TRUE(style & WS_CHILD);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_FALSE(style & (WS_BORDER | WS_CAPTION));
  char title[32] = {};
  GetWindowTextA(editor, title, sizeof title);
  EXPECT_STREQ(title, "Window");
  RECT rect{};
  GetWindowRect(editor, &rect);
  POINT origin{0, 0};
  ClientToScreen(window->handle(), &origin);
  EXPECT_EQ(rect.left, origin.x);
  EXPECT_EQ(rect.top, origin.y);
  EXPECT_EQ(rect.right - rect.left, 479);
  EXPECT_EQ(rect.bottom - rect.top, 161);
  WNDCLASSA info{};
  ASSERT_TRUE(GetClassInfoA(host.module(), kEditorClass, &info));
  EXPECT_EQ(info.style & CS_DBLCLKS, 0u) << "each click of a double click must come as a press";
  dispatch(effect, effEditClose);
}

TEST_F(EditorLifecycle, ClassRegisteredByFirstOpenUnregisteredByLastClose) {
  AEffect* a = host.instantiate();
  AEffect* b = host.instantiate();
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(classRegistered(host.module()));

  std::unique_ptr<testhost::HostWindow> windowA, windowB;
  HWND editorA = open(a, &windowA);
  ASSERT_NE(editorA, nullptr);
  WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  const ATOM atom = static_cast<ATOM>(GetClassInfoExA(host.module(), kEditorClass, &info));
  EXPECT_NE(atom, 0);
  HWND editorB = open(b, &windowB);
  ASSERT_NE(editorB, nullptr);
  EXPECT_EQ(GetClassInfoExA(host.module(), kEditorClass, &info), atom) << "registered once";

  dispatch(a, effEditClose);
  EXPECT_TRUE(classRegistered(host.module())) << "the other editor still uses the class";
  EXPECT_FALSE(IsWindow(editorA)) << "close takes the editor's window away";
  EXPECT_TRUE(IsWindow(editorB));

  dispatch(b, effEditClose);
  EXPECT_FALSE(classRegistered(host.module())) << "the last close unregisters the class";
  EXPECT_FALSE(IsWindow(editorB));
}

TEST_F(EditorLifecycle, IdleAfterCloseDoesNothing) {
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);
  std::unique_ptr<testhost::HostWindow> window;
  ASSERT_NE(open(effect, &window), nullptr);
  dispatch(effect, effEditClose);
  RefreshCounter refreshes;
  effect->setParameter(effect, kMorph, 0.5f);
  dispatch(effect, effEditIdle);
  EXPECT_EQ(refreshes.count(), 0);
  dispatch(effect, effEditClose);  // a second close changes nothing
  EXPECT_FALSE(classRegistered(host.module()));
}

TEST_F(EditorLifecycle, ReopenAfterClose) {
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);
  for (int round = 0; round < 3; ++round) {
    std::unique_ptr<testhost::HostWindow> window;
    HWND editor = open(effect, &window);
    ASSERT_NE(editor, nullptr) << "round " << round;
    RefreshCounter refreshes;
    effect->setParameter(effect, kFreq, 0.1f * round);
    dispatch(effect, effEditIdle);
    EXPECT_EQ(refreshes.count(), 1) << "round " << round;
    dispatch(effect, effEditClose);
  }
}

TEST_F(EditorLifecycle, HostDestroysItsWindowBeforeClosing) {
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);
  std::unique_ptr<testhost::HostWindow> window;
  HWND editor = open(effect, &window);
  ASSERT_NE(editor, nullptr);
  window.reset();  // takes the editor's window with it
  EXPECT_FALSE(IsWindow(editor));
  RefreshCounter refreshes;
  effect->setParameter(effect, kFilter, 0.9f);
  dispatch(effect, effEditIdle);
  EXPECT_EQ(refreshes.count(), 0) << "no window to refresh";
  dispatch(effect, effEditClose);
  EXPECT_FALSE(classRegistered(host.module()));
}

TEST_F(EditorLifecycle, EffectClosedWhileTheEditorIsOpen) {
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);
  std::unique_ptr<testhost::HostWindow> window;
  HWND editor = open(effect, &window);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(host.close(effect), 1);
  EXPECT_FALSE(IsWindow(editor)) << "the window must not outlive the editor it points to";
  EXPECT_FALSE(classRegistered(host.module()));
  // The host window goes on working.
  InvalidateRect(window->handle(), nullptr, TRUE);
  UpdateWindow(window->handle());
  testhost::pumpMessages(20);
}

TEST(EditorResources, DoNotGrowOverManyOpensAndCloses) {
  testhost::PluginHost host;
  std::string error;
  ASSERT_TRUE(host.load(testhost::defaultPluginPath(), &error)) << error;
  ASSERT_TRUE(gdi_counter::install(host.module()));
  const int objectsAtStart = gdi_counter::liveObjects();
  const int straysAtStart = gdi_counter::strayReleases();
  AEffect* effect = host.instantiate();
  ASSERT_NE(effect, nullptr);
  const int objectsOfOneEffect = gdi_counter::liveObjects() - objectsAtStart;
  EXPECT_EQ(objectsOfOneEffect, 8) << "four bitmaps, each in its memory context";

  const DWORD systemCountAtStart = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  for (int cycle = 0; cycle < 50; ++cycle) {
    testhost::HostWindow window("Mulchvoice resource test", kPanelWidth, kPanelHeight);
    dispatch(effect, effEditOpen, 0, 0, window.handle());
    HWND editor = findEditorWindow(window.handle());
    ASSERT_NE(editor, nullptr);
    UpdateWindow(editor);
    effect->setParameter(effect, cycle % 6, (cycle % 10) / 10.0f);
    effect->setParameter(effect, kSwitchCS, static_cast<float>(cycle % 2));
    dispatch(effect, effEditIdle);
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(285, 105));  // mulch switch
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 68));   // a knob, no drag
    testhost::pumpMessages(5);
    dispatch(effect, effEditClose);
    ASSERT_EQ(gdi_counter::liveObjects() - objectsAtStart, objectsOfOneEffect) << "cycle " << cycle;
    ASSERT_EQ(gdi_counter::heldDeviceContexts(), 0) << "cycle " << cycle;
  }
  const DWORD systemCountAtEnd = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  // Where the system keeps count, it agrees (a little slack for its own caches).
  if (systemCountAtStart != 0) {
    EXPECT_LE(systemCountAtEnd, systemCountAtStart + 4);
  }

  EXPECT_EQ(host.close(effect), 1);
  EXPECT_EQ(gdi_counter::liveObjects(), objectsAtStart) << "closing the effect frees its images";
  EXPECT_EQ(gdi_counter::strayReleases(), straysAtStart);
}

}  // namespace
