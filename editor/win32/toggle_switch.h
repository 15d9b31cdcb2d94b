#pragma once
// A switch showing a two-state parameter as a lit or unlit square; a click flips the parameter
// between 0.0 and 1.0 through setParameterAutomated, so the host records it. Lit only at
// exactly 1.0.
//
// Threads: the editor window's thread only.

#include <windows.h>

#include <cstdint>

class AudioEffect;

class ToggleSwitch {
 public:
  // The two images are memory contexts the editor owns; (x, y) the image's top-left.
  ToggleSwitch(AudioEffect* effect, HDC onImage, HDC offImage, int32_t x, int32_t y,
               int32_t paramIndex);

  ToggleSwitch(const ToggleSwitch&) = delete;
  ToggleSwitch& operator=(const ToggleSwitch&) = delete;

  // Reads the parameter and copies the matching image; a value that is neither off nor on
  // draws nothing.
  void draw(HDC dc);
  // Flips from the state last shown (not from a fresh read) and draws what the effect took.
  void click(HDC dc);
  // Draws only when the parameter's state differs from the one shown.
  void refresh(HDC dc);

 private:
  int16_t state;
  AudioEffect* effect;
  HDC onImage;
  HDC offImage;
  int32_t paramIndex;
  int32_t x;
  int32_t y;
};
