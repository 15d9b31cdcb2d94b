#pragma once
// The editor's X11 face: the panel in a child window of the host's, on a display connection of
// its own. It shows the editor core's picture (panel_picture.h) and turns presses, drags and
// releases into values exactly as the Windows editor does: a left press on a switch flips it, a
// left press on a knob starts a drag that follows the cursor's turn about the knob centre until
// both the left and the right button are up.
//
// Threads: the host's user-interface thread makes, idles and destroys the panel, and hands it
// the host's values; nothing is shared with any other thread. The window is made with the
// panel, because the host embeds it at once; after that every X call and every value sent to
// the host happens in `idle`. Each panel owns its connection, window and pictures: several live
// side by side in one process.

#include <cstdint>

#include "editor/knob_drag.h"
#include "editor/panel_picture.h"

struct _XDisplay;
struct _XGC;
struct _XImage;
union _XEvent;

// Where the panel sends the values the user sets, one call per change.
class ParameterSink {
 public:
  virtual void setParameter(int32_t index, float value) = 0;

 protected:
  ~ParameterSink() = default;
};

class X11Panel {
 public:
  // Draws the artwork, opens a connection to the display the environment names and makes the
  // window, kEditorWidth x kEditorHeight with size hints that say so, as a child of `parent`.
  // Null when any of it fails. Every control shows its parameter's default until setValue.
  static X11Panel* create(unsigned long parent, ParameterSink& sink);

  // Closes the connection, which takes the window with it where the host has not already
  // destroyed it (with its own window): the panel never names a window that may be gone.
  ~X11Panel();

  X11Panel(const X11Panel&) = delete;
  X11Panel& operator=(const X11Panel&) = delete;

  unsigned long window() const { return windowId; }

  // A value from the host, by parameter index; shown at the next idle. Nothing is sent back.
  void setValue(int32_t index, float value);

  // Handles the window's events (exposure, presses, moves, releases), sends what the user set,
  // and redraws the controls whose value changed.
  void idle();

 private:
  X11Panel(Artwork artwork, ParameterSink& sink);
  bool open(unsigned long parent);
  void handle(const _XEvent& event);
  void press(int32_t x, int32_t y);
  void set(int32_t control, float value);
  void show(const PanelBox& box);

  ParameterSink& sink;
  PanelPicture picture;
  float values[kNumParams];  // the current values, by parameter: the host's or the user's
  _XDisplay* display;
  unsigned long windowId;
  _XGC* gc;
  _XImage* image;  // the picture in the window's pixel format
  bool exposed;    // the window needs the whole picture again
  int32_t dragged;  // the control being dragged, or -1
  KnobTurn turn;
};
