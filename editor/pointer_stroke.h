#pragma once
// The knob's pointer line as pixels, drawn as the Windows editor's two-pixel pen draws it, so
// that a face drawing its own pixels shows the same pointer.
//
// Pen coordinates name the corners between pixels: the pen is centred on the line between
// them, and pixel (x, y) is the unit square whose top-left corner is (x, y). A horizontal or
// vertical line covers the two pixel rows (or columns) either side of that line. A slanted one
// covers a band two pixels wide across the line, its corners put on whole corner points; a pixel
// belongs to the band when its top-left corner lies inside it (a corner on the band's left or
// top edge counts, one on its right or bottom edge does not). Each end adds the 2 x 2 pixels
// around the end point.

#include "editor/knob_drag.h"
#include "editor/picture.h"

// Draws `line` into `picture` in `colour` (0xRRGGBB); pixels outside the picture are left out.
void strokePointer(Picture& picture, const PointerLine& line, uint32_t colour);
