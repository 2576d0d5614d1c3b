// Drawing helpers shared by the simple controls: a picture part clipped to
// its image, and a caption drawn with a skin layer's font and format. Both go
// through the canvas operations of gfx/ (AlphaBlendDib, DrawTextOnCanvas).
// User-interface thread only.
#pragma once

#include "skin/Control.h"

namespace zdl {

// Draws the w x h part of |image| that starts at (sx, sy) onto |surface| at
// (dx, dy) with the image's alpha. The part is cut to the image first, so a
// control larger than its picture never reads past the picture. Nothing for
// a null or empty image.
void DrawImagePart(DibImage* surface, const DibImage* image, int dx, int dy, int w, int h, int sx, int sy);

// Draws a NUL-terminated caption in |rect| (canvas coordinates) with
// |style|'s font and text format, in |color|, transparent. Nothing for an
// empty caption.
void DrawCaption(DibImage* surface, const SkinStyle& style, ColorRef color, const char* caption, const DibRect& rect);

// |rect| moved by (dx, dy).
DibRect OffsetRect(const DibRect& rect, int dx, int dy);

} // namespace zdl
