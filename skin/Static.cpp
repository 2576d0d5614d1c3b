#include "skin/Static.h"

#include "skin/ControlPaint.h"
#include "skin/GbkText.h"

#include <cstring>

namespace zdl {

CSStatic::CSStatic()
    : CSControl(kTypeStatic)
{
}

CSStatic::CSStatic(int32_t code)
    : CSControl(code)
{
}

CSStatic::~CSStatic() = default;

void CSStatic::SetCaption(const char* text)
{
    if (!text) {
        caption[0] = '\0';
        return;
    }
    size_t n = GbkCutLength(text, strnlen(text, kMaxCaptionBytes + 1), kMaxCaptionBytes);
    std::memcpy(caption, text, n);
    caption[n] = '\0';
}

void CSStatic::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible)
        return;
    int state = enabled ? 0 : 3;
    DibRect textRect = OffsetRect(rect, ox, oy);
    if (backImage && !backImage->Empty()) {
        if (backRect.left != 0) {
            DibRect r = OffsetRect(backRect, ox, oy);
            StretchDib(surface, r.left, r.top, r.right - r.left, r.bottom - r.top, *backImage, 0, 0, backImage->Width(),
                backImage->Height());
        } else {
            DrawImagePart(surface, backImage, textRect.left, textRect.top, textRect.right - textRect.left,
                textRect.bottom - textRect.top, 0, 0);
        }
    }
    if (!layers.empty())
        DrawCaption(surface, layers[0], layers[0].textColor[state], caption, textRect);
}

bool CSStatic::HitTest(int, int)
{
    return false;
}

} // namespace zdl
