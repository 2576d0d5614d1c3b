#include "skin/ControlPaint.h"

#include "gfx/TextDraw.h"

namespace zdl {

void DrawImagePart(DibImage* surface, const DibImage* image, int dx, int dy, int w, int h, int sx, int sy)
{
    if (!surface || !image || image->Empty())
        return;
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (w > image->Width() - sx)
        w = image->Width() - sx;
    if (h > image->Height() - sy)
        h = image->Height() - sy;
    if (w <= 0 || h <= 0)
        return;
    AlphaBlendDib(*image, surface, dx, dy, w, h, sx, sy);
}

void DrawCaption(DibImage* surface, const SkinStyle& style, ColorRef color, const char* caption, const DibRect& rect)
{
    if (!surface || !caption || !caption[0])
        return;
    DrawTextOnCanvas(surface, style.font, color, caption, -1, rect, style.textFormat);
}

DibRect OffsetRect(const DibRect& rect, int dx, int dy)
{
    DibRect r = rect;
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}

} // namespace zdl
