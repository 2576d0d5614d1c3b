// Drawing GBK text onto a canvas, and measuring it, with the fonts of
// gfx/FontCache.h. DrawTextOnCanvas is the one sequence every text-bearing
// control uses: draw with DrawText's layout rules, then make the whole text
// rectangle opaque, because the system leaves alpha 0 on drawn pixels and the
// layered window would show them as holes.
//
// Format bits are DrawText's (platform/WinDefs.h DT_*). Windows draws with
// GDI (the text converted from code page 936); natively FreeType renders the
// same layout rules for the bits the skin uses: DT_CENTER, DT_RIGHT,
// DT_VCENTER, DT_BOTTOM, DT_SINGLELINE, DT_WORDBREAK, DT_NOPREFIX,
// DT_CALCRECT and DT_NOCLIP. User-interface thread only.
#pragma once

#include "gfx/DibImage.h"
#include "gfx/FontCache.h"
#include "platform/WinDefs.h"

#include <cstdint>

namespace zdl {

// What TEXTMETRIC says about a font, in pixels.
struct TextMetrics {
    int height = 0; // ascent + descent: the line height
    int ascent = 0;
    int descent = 0;
    int aveCharWidth = 0;
    int maxCharWidth = 0;
    int overhang = 0;
};

struct TextSize {
    int cx = 0;
    int cy = 0;
};

// Metrics of |font|; false for none or a failure.
bool GetFontMetrics(FontHandle font, TextMetrics* out);

// Extent of one line of |length| bytes of GBK text (GetTextExtentPoint32):
// the sum of the advances, and the font's height.
bool MeasureText(FontHandle font, const char* text, int length, TextSize* out);

// DrawText with DT_CALCRECT: widens/heightens |rect| to the text and returns
// the text height; draws nothing.
int CalcTextRect(FontHandle font, const char* text, int length, DibRect* rect, uint32_t format);

// Draws |length| bytes of GBK text (-1: up to the terminating 0) in |color|
// (COLORREF) with transparent background into |rect| of |canvas|, laid out
// by |format|, then sets alpha 255 over |rect|. With no font the system's
// default face is used. Returns the height of the drawn text (0 on failure).
// Texts drawn on a 32-bit canvas are remembered with the pixels they were
// drawn on (the rectangle, with a margin for DT_NOCLIP; the last 64); the
// same call on the same pixels copies the remembered result.
int DrawTextOnCanvas(DibImage* canvas, FontHandle font, uint32_t color, const char* text, int length,
    const DibRect& rect, uint32_t format);

// Forgets the texts remembered for |font|; called before a font is deleted,
// as a new font may come back with the same handle.
void ForgetTextDrawnWith(FontHandle font);

} // namespace zdl
