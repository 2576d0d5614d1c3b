// The system side of fonts and text, one implementation per platform:
// FontSystem_win.cpp (GDI) and FontSystem_posix.cpp (FreeType, fontconfig,
// iconv). Used only by FontCache.cpp and TextDraw.cpp.
#pragma once

#include "gfx/FontCache.h"
#include "gfx/TextDraw.h"
#include "platform/DeviceContext.h"

namespace zdl {

enum class FontPrecision {
    kDefault, // precisions 0 (CreateFontIndirect with a zeroed LOGFONT)
    kCharacter, // OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS (shared fonts)
};

FontHandle SystemCreateFont(const FontSpec& spec, const char* face, FontPrecision precision);
void SystemDeleteFont(FontHandle font);
// The LOGFONT a font was made from (height, width, weight, italic,
// underline, face); false for none.
bool SystemQueryFont(FontHandle font, FontSpec* out);
bool SystemFontMetrics(FontHandle font, TextMetrics* out);
bool SystemMeasureText(FontHandle font, const char* text, int length, TextSize* out);
// DrawText on the image bound to |dc|; with DT_CALCRECT only measures and
// updates |rect|. Returns the text height.
int SystemDrawText(
    const CDibDC& dc, FontHandle font, uint32_t color, const char* text, int length, DibRect* rect, uint32_t format);
int SystemCalcRect(FontHandle font, const char* text, int length, DibRect* rect, uint32_t format);

} // namespace zdl
