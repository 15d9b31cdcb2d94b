#pragma once
// A knob showing one parameter as a pointer line on a 32 by 32 face, turned by circling the
// mouse around it while a button is held. Every step of a turn sets the parameter through
// setParameterAutomated, so the host records it.
//
// Threads: the editor window's thread only (painting, refresh and the press that drags).

#include <windows.h>

#include <cstdint>

class AudioEffect;

class RotaryKnob {
 public:
  // `image` is the memory context holding the knob face (not owned); (x, y) the face's
  // top-left in window coordinates.
  RotaryKnob(AudioEffect* effect, HDC image, int32_t x, int32_t y, int32_t paramIndex);

  RotaryKnob(const RotaryKnob&) = delete;
  RotaryKnob& operator=(const RotaryKnob&) = delete;

  // Reads the parameter, copies the face over the old pointer and draws the new one.
  void draw(HDC dc);
  // Draws only when the parameter differs from what the knob shows.
  void refresh(HDC dc);
  // Follows the mouse until both buttons are up; (windowLeft, windowTop) is the editor
  // window's top-left corner on the screen. Holds the window's thread for the whole drag.
  void drag(HDC dc, int32_t windowLeft, int32_t windowTop);

 private:
  HDC image;
  AudioEffect* effect;
  int32_t centreX;
  int32_t centreY;
  int32_t x;
  int32_t y;
  int32_t paramIndex;
  float shownValue;
};
