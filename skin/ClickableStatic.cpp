#include "skin/ClickableStatic.h"

#include "skin/ControlInput.h"
#include "skin/ControlPaint.h"

namespace zdl {

CSClickableStatic::CSClickableStatic()
    : CSStatic(kTypeClickableStatic)
{
}

CSClickableStatic::~CSClickableStatic() = default;

void CSClickableStatic::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || layers.empty())
        return;
    DibRect textRect = OffsetRect(rect, ox, oy);
    if (enabled && pressed)
        textRect = OffsetRect(textRect, 1, 2);
    DrawCaption(surface, layers[0], layers[0].textColor[0], caption, textRect);
}

bool CSClickableStatic::OnMouse(unsigned msg, int px, int py, WParam, LParam)
{
    return ButtonMouse(this, &pressed, msg, px, py);
}

bool CSClickableStatic::CanFocus()
{
    return visible && enabled && tabStop;
}

bool CSClickableStatic::HitTest(int px, int py)
{
    return CSControl::HitTest(px, py);
}

void CSClickableStatic::SetEnabled(bool enable)
{
    if (!enable)
        CancelPress(this, &pressed);
    CSStatic::SetEnabled(enable);
}

void CSClickableStatic::SetVisible(bool show)
{
    if (!show)
        CancelPress(this, &pressed);
    CSStatic::SetVisible(show);
}

} // namespace zdl
