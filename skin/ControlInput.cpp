#include "skin/ControlInput.h"

#include "skin/Button.h"
#include "skin/ClickableStatic.h"
#include "skin/ControlContainer.h"
#include "skin/EditBox.h"
#include "skin/MultiColorStatic.h"

namespace zdl {

namespace {
    // Rich-text tooltips take their markup unless a test installs another setter.
    TooltipTextSetter tooltipTextSetter = &SetTooltipMarkup;
}

NativeWindow ControlWindow(const CSControl* control)
{
    if (control && control->owner)
        return control->owner->CaptureWindow();
    return SkinMainWindow();
}

void CaptureMouseFor(const CSControl* control)
{
    GetUiPlatform().SetCapture(ControlWindow(control));
}

void CancelPress(const CSControl* control, bool* pressed)
{
    if (!*pressed)
        return;
    *pressed = false;
    UiPlatform& ui = GetUiPlatform();
    NativeWindow captured = ui.GetCapture();
    if (captured && captured == ControlWindow(control))
        ui.ReleaseCapture();
}

void DropPress(CSControl* control)
{
    if (auto* button = dynamic_cast<CSButton*>(control))
        button->pressed = false;
    else if (auto* link = dynamic_cast<CSClickableStatic*>(control))
        link->pressed = false;
    else if (auto* edit = dynamic_cast<CSEditBox*>(control))
        edit->dragging = false;
}

bool ButtonMouse(CSControl* control, bool* pressed, unsigned msg, int px, int py)
{
    if (!control->enabled || !control->visible)
        return false;
    UiPlatform& ui = GetUiPlatform();
    switch (msg) {
    case WM_MOUSEMOVE:
        if (control->HitTest(px, py))
            ui.SetCursorShape(CursorShape::kHand);
        return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!control->HitTest(px, py))
            return false;
        ui.SetCursorShape(CursorShape::kHand);
        *pressed = true;
        CaptureMouseFor(control);
        if (focusControl != control && control->owner)
            control->owner->RequestFocus(control);
        return true;
    case WM_LBUTTONUP:
        if (!*pressed)
            return false;
        ui.SetCursorShape(CursorShape::kHand);
        *pressed = false;
        ui.ReleaseCapture();
        if (control->owner && !control->owner->navigationKeys)
            control->owner->ClearFocus();
        if (control->HitTest(px, py))
            NotifyOwner(control, kNotifyClicked);
        return true;
    default:
        return false;
    }
}

KeyCycle ButtonKey(const CSControl* control, bool* pressed, unsigned msg, WParam key)
{
    if (!control->enabled || !control->visible || (key != VK_RETURN && key != VK_SPACE))
        return KeyCycle::kIgnored;
    if (msg == WM_KEYDOWN) {
        *pressed = true;
        return KeyCycle::kTaken;
    }
    if (msg == WM_KEYUP) {
        if (!*pressed)
            return KeyCycle::kTaken;
        *pressed = false;
        return KeyCycle::kReleased;
    }
    return KeyCycle::kIgnored;
}

void SetTooltipTextSetter(TooltipTextSetter setter)
{
    tooltipTextSetter = setter;
}

TooltipTextSetter GetTooltipTextSetter()
{
    return tooltipTextSetter;
}

} // namespace zdl
