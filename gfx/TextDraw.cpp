#include "gfx/TextDraw.h"

#include "gfx/FontSystem.h"

#include <cstring>

namespace zdl {

namespace {
int Length(const char* text, int length)
{
    if (!text)
        return 0;
    return length < 0 ? static_cast<int>(std::strlen(text)) : length;
}
}  // namespace

bool GetFontMetrics(FontHandle font, TextMetrics* out)
{
    return font && SystemFontMetrics(font, out);
}

bool MeasureText(FontHandle font, const char* text, int length, TextSize* out)
{
    return font && SystemMeasureText(font, text ? text : "", Length(text, length), out);
}

int CalcTextRect(FontHandle font, const char* text, int length, DibRect* rect, uint32_t format)
{
    return SystemCalcRect(font, text ? text : "", Length(text, length), rect, format | DT_CALCRECT);
}

int DrawTextOnCanvas(DibImage* canvas, FontHandle font, uint32_t color, const char* text, int length,
                     const DibRect& rect, uint32_t format)
{
    if (!canvas || canvas->Empty())
        return 0;
    int drawn = 0;
    {
        CDibDC dc(canvas->Surface());
        DibRect r = rect;
        drawn = SystemDrawText(dc, font, color, text ? text : "", Length(text, length), &r,
                               format & ~static_cast<uint32_t>(DT_CALCRECT));
    }
    SetDibAlphaOpaque(rect, canvas);
    return drawn;
}

}  // namespace zdl
