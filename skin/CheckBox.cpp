#include "skin/CheckBox.h"

#include "gfx/TextDraw.h"
#include "skin/ControlContainer.h"
#include "skin/ControlInput.h"
#include "skin/ControlPaint.h"

#include <cstring>

namespace zdl {

CSCheckBox::CSCheckBox()
    : CSButton(kTypeCheckBox)
{
}

CSCheckBox::~CSCheckBox() = default;

// The box takes the picture's frame (half the strip) or, without a picture,
// a square of the control's height; the caption starts a quarter box-width
// after it, is centred vertically on the font's height and widened to the
// caption's length in average characters.
void CSCheckBox::UpdateRect()
{
    CSControl::UpdateRect();
    boxRect = rect;
    const SkinStyle* style = layers.empty() ? nullptr : &layers[0];
    if (style && style->image && !style->image->Empty()) {
        boxRect.right = boxRect.left + style->image->Width() / 2;
        boxRect.bottom = boxRect.top + style->image->Height();
        rect.bottom = boxRect.bottom;
    } else {
        boxRect.right = boxRect.left + (boxRect.bottom - boxRect.top);
    }
    textRect = rect;
    textRect.left += (boxRect.right - boxRect.left) * 5 / 4;
    FontDesc desc;
    if (!style || !FindFontDesc(style->font, &desc))
        return;
    int rectHeight = rect.bottom - rect.top;
    if (desc.height < rectHeight)
        textRect.top += (rectHeight - desc.height) / 2;
    int average = desc.width;
    TextMetrics metrics;
    if (average <= 0 && GetFontMetrics(style->font, &metrics))
        average = metrics.aveCharWidth;
    int needed = static_cast<int>(std::strlen(caption)) * average;
    if (caption[0] && needed > textRect.right - textRect.left) {
        textRect.right = textRect.left + needed;
        if (rect.right < textRect.right)
            rect.right = textRect.right;
    }
}

void CSCheckBox::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || layers.empty())
        return;
    const SkinStyle& style = layers[0];
    DrawCaption(surface, style, style.textColor[State()], caption, OffsetRect(textRect, ox, oy));
    DrawImagePart(surface, style.image, x + ox, y + oy, boxRect.right - boxRect.left, boxRect.bottom - boxRect.top,
        style.frameWidth * (isChecked ? 1 : 0), 0);
}

bool CSCheckBox::OnKey(unsigned msg, WParam key, LParam)
{
    KeyCycle cycle = ButtonKey(this, &pressed, msg, key);
    if (cycle == KeyCycle::kReleased)
        SetChecked(!isChecked, true);
    return cycle != KeyCycle::kIgnored;
}

// Unlike a button the box keeps the focus after a click and leaves the
// cursor alone.
bool CSCheckBox::OnMouse(unsigned msg, int px, int py, WParam, LParam)
{
    if (!enabled || !visible)
        return false;
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!HitTest(px, py))
            return false;
        pressed = true;
        CaptureMouseFor(this);
        if (focusControl != this && owner)
            owner->RequestFocus(this);
        return true;
    case WM_LBUTTONUP:
        if (!pressed)
            return false;
        pressed = false;
        GetUiPlatform().ReleaseCapture();
        if (HitTest(px, py))
            SetChecked(!isChecked, true);
        return true;
    default:
        return false;
    }
}

void CSCheckBox::Activate()
{
    FocusForActivation();
    SetChecked(!isChecked, true);
}

bool CSCheckBox::HitTest(int px, int py)
{
    auto inside = [px, py](const DibRect& r) { return px >= r.left && px < r.right && py >= r.top && py < r.bottom; };
    return inside(rect) || inside(boxRect);
}

void CSCheckBox::SetChecked(bool value, bool notify)
{
    isChecked = value;
    if (!notify && !(owner && owner->reportAllChanges))
        return;
    NotifyOwner(this, kNotifyCheckChanged);
}

} // namespace zdl
