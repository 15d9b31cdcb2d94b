#pragma once
// The editor's four pictures, drawn from arithmetic alone: no file, no image library. The
// Windows editor embeds them as bitmap resources (editor/bitmaps, written from this by
// tools/artwork/make_artwork); the X11 panel draws them when it is made.
//
// The panel is dark blue anodised metal, brushed sideways; the knobs are gunmetal with a
// knurled skirt and a spun cap, each with an eleven-tick scale; the switches are square lamps,
// olive when off and yellow when lit. Every control sits where the layout table puts it, and
// the knob face is cut from the finished panel, so the panel and the face agree pixel for pixel
// (copying the face over the panel erases an old pointer). No pixel has the pointer's colour.

#include "editor/picture.h"

struct Artwork {
  Picture background;  // kEditorWidth x kEditorHeight, the knob faces and unlit switches on it
  Picture knobFace;    // kKnobFaceSize square
  Picture switchOff;   // kSwitchWidth x kSwitchHeight
  Picture switchOn;
};

// Draws the four pictures, in about a tenth of a second. False when memory ran out.
bool drawArtwork(Artwork& artwork);
