#pragma once
// The plug-in's editor: a fixed 479 by 161 child window inside the host's window, painted from
// four bitmaps, with six knobs (parameters 0 to 5) and two switches (parameters 6 and 7).
//
// Threads: `postUpdate` may come from any host thread; everything else runs on the host's
// user-interface thread, the one that opens the editor, which also owns the window. The idle
// call's refresh reaches the window by SendMessageA, so it runs on that thread too.

#include <windows.h>

#include <cstdint>

#include "editor/editor_layout.h"
#include "host/aeff_editor.h"

class RotaryKnob;
class ToggleSwitch;

// The window's private message asking it to redraw the controls whose value changed.
constexpr UINT WM_EDITOR_REFRESH = 9999;

class VocoderEditor : public AEffEditor {
 public:
  // Loads the bitmaps and builds the controls, then attaches itself to the effect with
  // setEditor. When an image or a control cannot be made it sets outOfMemory and stays
  // detached; the destructor copes with whatever was built.
  explicit VocoderEditor(AudioEffect* effect);
  ~VocoderEditor() override;

  void update() override;
  int32_t getRect(ERect** rect) override;
  int32_t open(void* parent) override;
  void close() override;

  void paint(HDC dc);
  void refresh(HDC dc);
  // A left-button press at (x, y) in window coordinates; (windowLeft, windowTop) is the
  // window's top-left corner on the screen.
  void mouseDown(HDC dc, int32_t x, int32_t y, int32_t windowLeft, int32_t windowTop);

  static LRESULT CALLBACK editorWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                           LPARAM lParam);

 private:
  enum ImageSlot { kBackground, kKnobFace, kSwitchOn, kSwitchOff, kNumImages };
  struct Image {
    HBITMAP bitmap;
    HDC dc;
  };
  // One control per entry of kControlLayout, of the kind its parameter has.
  struct Control {
    RotaryKnob* knob;
    ToggleSwitch* toggle;
  };

  bool buildControls();
  void destroyWindow();

  HWND window;
  Image images[kNumImages];
  Control controls[kNumControls];
  int32_t openCount;  // this editor's opens not yet matched by a close
};
