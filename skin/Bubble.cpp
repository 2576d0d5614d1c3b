#include "skin/Bubble.h"

#include "skin/ControlPaint.h"

namespace zdl {

CSBubble::CSBubble()
    : CSControl(kTypeBubble)
{
}

CSBubble::~CSBubble() = default;

void CSBubble::Paint(DibImage* surface, int ox, int oy)
{
    if (visible)
        DrawImagePart(surface, image, x + ox, y + oy, width, height, 0, 0);
}

bool CSBubble::OnMouse(unsigned msg, int px, int py, WParam, LParam)
{
    if (!enabled || !visible || (msg != WM_LBUTTONDOWN && msg != WM_LBUTTONUP) || !HitTest(px, py))
        return false;
    SetVisible(false);
    return true;
}

} // namespace zdl
