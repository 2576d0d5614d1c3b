#include "skin/Button.h"

#include "skin/ControlContainer.h"
#include "skin/ControlInput.h"
#include "skin/ControlPaint.h"

namespace zdl {

CSButton::CSButton()
    : CSStatic(kTypeButton)
{
}

CSButton::CSButton(int32_t code)
    : CSStatic(code)
{
}

CSButton::~CSButton() = default;

int CSButton::State() const
{
    if (!enabled)
        return kStateDisabled;
    if (pressed)
        return kStatePressed;
    if (hovered)
        return kStateHover;
    if (focused)
        return kStateFocused;
    return kStateNormal;
}

void CSButton::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || layers.empty())
        return;
    const SkinStyle& style = layers[0];
    int state = State();
    if (style.image && !style.image->Empty()) {
        int sx = style.frameWidth * state;
        if (sx >= style.image->Width() || sx < 0)
            sx = 0;
        DrawImagePart(surface, style.image, x + ox, y + oy, width, height, sx, 0);
    }
    DibRect textRect = OffsetRect(rect, ox, oy);
    if (icon && !icon->Empty()) {
        int top = textRect.top + (textRect.bottom - textRect.top - icon->Height()) / 2;
        DrawImagePart(surface, icon, textRect.left, top, icon->Width(), icon->Height(), 0, 0);
        textRect.left += icon->Width() + 2;
    }
    DrawCaption(surface, style, style.textColor[state], caption, textRect);
}

bool CSButton::OnKey(unsigned msg, WParam key, LParam)
{
    KeyCycle cycle = ButtonKey(this, &pressed, msg, key);
    if (cycle == KeyCycle::kReleased)
        NotifyOwner(this, kNotifyClicked);
    return cycle != KeyCycle::kIgnored;
}

bool CSButton::OnMouse(unsigned msg, int px, int py, WParam, LParam)
{
    return ButtonMouse(this, &pressed, msg, px, py);
}

bool CSButton::CanFocus()
{
    return visible && enabled && tabStop;
}

void CSButton::OnMouseEnter()
{
    hovered = true;
    if (notifyOnHover)
        NotifyOwner(this, kNotifyClicked);
    // Pages without a tooltip (or whose tooltip could not be made) show none.
    if (!visible || tipText.empty() || !owner || !owner->tooltip)
        return;
    CSControl* tip = owner->tooltip;
    if (TooltipTextSetter setText = GetTooltipTextSetter())
        setText(tip, tipText.c_str());
    UiPoint p = GetUiPlatform().CursorPos(ControlWindow(this));
    tip->x = p.x + 8;
    tip->y = p.y + 18;
    tip->UpdateRect();
    tip->SetVisible(true);
}

void CSButton::OnMouseLeave()
{
    hovered = false;
    if (visible && !tipText.empty() && owner && owner->tooltip)
        owner->tooltip->SetVisible(false);
}

void CSButton::FocusForActivation()
{
    if (owner && owner->navigationKeys && focusControl != this && CanFocus())
        owner->RequestFocus(this);
}

void CSButton::Activate()
{
    FocusForActivation();
    NotifyOwner(this, kNotifyClicked);
}

// The picture's pixel under the point decides: only pixels more opaque than
// the threshold hit, and a point beyond the picture (a control larger than
// its image) misses instead of reading past it.
bool CSButton::HitTest(int px, int py)
{
    if (!CSControl::HitTest(px, py))
        return false;
    if (!alphaHitTest || layers.empty() || !layers[0].image || layers[0].image->Empty())
        return true;
    const DibImage& image = *layers[0].image;
    int fx = px - rect.left;
    int fy = py - rect.top;
    int frame = layers[0].frameWidth;
    int pictureWidth = frame > 0 && frame < image.Width() ? frame : image.Width();
    if (fx >= pictureWidth || fy >= image.Height())
        return false;
    return GetDibAlpha(image, fx, fy) > kAlphaHitThreshold;
}

void CSButton::SetEnabled(bool enable)
{
    if (!enable)
        CancelPress(this, &pressed);
    CSStatic::SetEnabled(enable);
}

void CSButton::SetVisible(bool show)
{
    if (!show)
        CancelPress(this, &pressed);
    CSStatic::SetVisible(show);
}

} // namespace zdl
