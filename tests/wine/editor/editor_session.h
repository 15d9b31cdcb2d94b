#pragma once
// The fixture of the editor tests: the real MULCHVOICE.dll, one effect, and its editor opened
// in a host window the way a host opens it, painted and ready to be read back from the screen.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "host/aeffect.h"
#include "tools/testhost/host_window.h"
#include "tools/testhost/image.h"
#include "tools/testhost/plugin_host.h"

constexpr int kPanelWidth = 479;
constexpr int kPanelHeight = 161;
constexpr UINT kRefreshMessage = 9999;
constexpr uint32_t kPointerColour = 0x969696;
constexpr const char* kEditorClass = "MulchvoiceClass";

// Where the controls are, as a host's user sees them (window coordinates).
struct KnobPlace {
  int param, x, y;  // the 32 x 32 face's top-left
};
constexpr KnobPlace kKnobs[6] = {{0, 44, 52},  {1, 104, 52}, {2, 164, 52},
                                 {3, 224, 52}, {4, 284, 52}, {5, 344, 52}};
struct SwitchPlace {
  int param, x, y;  // the 22 x 23 image's top-left
};
constexpr SwitchPlace kSwitches[2] = {{6, 74, 98}, {7, 276, 99}};

int32_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, int32_t value = 0,
                 void* ptr = nullptr, float opt = 0.0f);

// One of the plug-in's bitmap resources as the screen shows it; empty when it is missing.
testhost::Image loadBitmapResource(HMODULE module, int id);

// The editor child window inside `parent`, or null.
HWND findEditorWindow(HWND parent);

bool classRegistered(HMODULE module);

// Counts the refresh messages sent to the editor windows of the calling thread.
class RefreshCounter {
 public:
  RefreshCounter();
  ~RefreshCounter();
  int count() const;

 private:
  HHOOK hook;
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the editor of `effect` in a new host window and paints it; returns the editor window.
  HWND openEditor(AEffect* effect, std::unique_ptr<testhost::HostWindow>* hostWindow);

  void setParameter(int index, float value) { effect->setParameter(effect, index, value); }
  float parameter(int index) { return effect->getParameter(effect, index); }
  // The host's idle call, then whatever it sent or posted is handled.
  void idle();
  testhost::Image capture() const;
  // Paints the whole editor in one colour behind its back (no invalidation), so that a later
  // look at the screen shows exactly what the editor drew since.
  void paintOver(COLORREF colour) const;
  // A left-button press as the window receives it, posted to its queue, then handled.
  void postPress(int x, int y);
  POINT toScreen(int x, int y) const;
  std::vector<testhost::Automation> automationsOf(int index) const;

  testhost::PluginHost host;
  AEffect* effect = nullptr;
  std::unique_ptr<testhost::HostWindow> window;
  HWND editor = nullptr;
};
