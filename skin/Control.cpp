#include "skin/Control.h"

#include "skin/ControlContainer.h"

namespace zdl {

CSControl* focusControl = nullptr;

CSControl::CSControl(int32_t code)
    : typeCode(code)
{
}

CSControl::~CSControl()
{
    DeleteOwnedFont(captionFont);
}

HResult CSControl::OnAttach()
{
    return 0;
}

void CSControl::Paint(DibImage*, int, int) { }

bool CSControl::OnMessage(unsigned, WParam, LParam)
{
    return false;
}

bool CSControl::OnKey(unsigned, WParam, LParam)
{
    return false;
}

bool CSControl::OnMouse(unsigned, int, int, WParam, LParam)
{
    return false;
}

bool CSControl::CanFocus()
{
    return false;
}

void CSControl::OnSetFocus()
{
    focused = true;
}

void CSControl::OnKillFocus()
{
    focused = false;
}

void CSControl::OnMouseEnter()
{
    hovered = true;
}

void CSControl::OnMouseLeave()
{
    hovered = false;
}

void CSControl::Activate() { }

bool CSControl::HitTest(int px, int py)
{
    return px >= rect.left && px < rect.right && py >= rect.top && py < rect.bottom;
}

void CSControl::SetEnabled(bool enable)
{
    enabled = enable;
}

bool CSControl::IsEnabled()
{
    return enabled;
}

void CSControl::SetVisible(bool show)
{
    visible = show;
}

bool CSControl::IsVisible()
{
    return visible;
}

void CSControl::SetTextColor(ColorRef color)
{
    if (!layers.empty())
        layers[0].textColor[0] = color;
}

void CSControl::UpdateRect()
{
    rect.left = x;
    rect.top = y;
    rect.right = x + width;
    rect.bottom = y + height;
}

void MakeCaptionFont(CSControl* control)
{
    if (!control || control->layers.empty())
        return;
    DeleteOwnedFont(control->captionFont);
    control->captionFont = CreateOwnedFont(CaptionFontSpec());
    control->layers[0].font = control->captionFont;
}

void NotifyOwner(CSControl* control, int code)
{
    if (!control)
        return;
    control->notified = true;
    CSControlContainer* owner = control->owner;
    if (!owner)
        return;
    if (owner->notifyCallback)
        owner->notifyCallback(code, control->id, control, owner->notifyUserData);
    else
        owner->OnNotify(code, control->id, control);
}

} // namespace zdl
