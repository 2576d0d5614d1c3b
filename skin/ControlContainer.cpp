#include "skin/ControlContainer.h"

#include "gfx/ImageCache.h"
#include "skin/ControlInput.h"
#include "skin/MultiColorStatic.h"

#include <algorithm>
#include <new>

namespace zdl {

namespace {

    // Every page gets the rich-text tooltip unless a test installs another maker.
    TooltipFactory tooltipFactory = &CreateTooltipControl;
    NativeWindow skinMainWindow = nullptr;

    // Bounds the walk over the container ring, which the pages link by hand.
    constexpr int kMaxRingHops = 64;
    // Candidates tried by one focus move before giving up.
    constexpr int kMaxFocusTries = 10;

    // The control after (or before) |control|, continuing into the next (or
    // previous) container of the ring past the ends. Null when none is found.
    CSControl* Step(CSControl* control, bool forward)
    {
        if (!control || !control->owner)
            return nullptr;
        CSControlContainer* c = control->owner;
        size_t count = c->controls.size();
        if (forward) {
            size_t next = static_cast<size_t>(control->index) + 1;
            if (next < count)
                return c->controls[next];
            for (int hop = 0; hop < kMaxRingHops; ++hop) {
                c = c->nextContainer ? c->nextContainer : c;
                if (!c->controls.empty())
                    return c->controls.front();
            }
            return nullptr;
        }
        if (control->index > 0 && static_cast<size_t>(control->index) <= count)
            return c->controls[static_cast<size_t>(control->index) - 1];
        for (int hop = 0; hop < kMaxRingHops; ++hop) {
            c = c->prevContainer ? c->prevContainer : c;
            if (!c->controls.empty())
                return c->controls.back();
        }
        return nullptr;
    }

    bool IsMouseMessage(unsigned msg)
    {
        return msg >= WM_MOUSEFIRST && msg <= WM_XBUTTONUP;
    }

} // namespace

void SetTooltipFactory(TooltipFactory factory)
{
    tooltipFactory = factory;
}

void SetSkinMainWindow(NativeWindow window)
{
    skinMainWindow = window;
}

NativeWindow SkinMainWindow()
{
    return skinMainWindow;
}

CSControlContainer::CSControlContainer()
    : nextContainer(this)
    , prevContainer(this)
{
}

CSControlContainer::~CSControlContainer()
{
    if (OwnsFocus())
        focusControl = nullptr;
    hoverControl = nullptr;
    tooltip = nullptr;
    for (CSControl* control : controls)
        delete control;
    controls.clear();
    styles.clear();
}

bool CSControlContainer::OnInit()
{
    return true;
}

void CSControlContainer::OnClose() { }

void CSControlContainer::OnAttached()
{
    if (!tooltipFactory)
        return;
    CSControl* tip = tooltipFactory();
    if (!tip)
        return;
    if (AddControl(tip) < 0) {
        delete tip;
        return;
    }
    tip->id = kTooltipId;
    tip->x = 280;
    tip->y = 400;
    tip->width = 100;
    tip->height = 40;
    tip->UpdateRect();
    tip->SetVisible(false);
    tooltip = tip;
}

void CSControlContainer::OnNotify(int, int, CSControl*) { }

bool CSControlContainer::OnMouseDown(int, int)
{
    return false;
}

bool CSControlContainer::OnMouseMove(int px, int py)
{
    TrackHover(px, py);
    return false;
}

bool CSControlContainer::OnMouseUp(int, int)
{
    return false;
}

void CSControlContainer::OnCaptureLost() { }

void CSControlContainer::TrackHover(int cx, int cy)
{
    CSControl* hit = HitTestControls(cx, cy);
    if (hit == hoverControl)
        return;
    if (hoverControl)
        hoverControl->OnMouseLeave();
    hoverControl = hit;
    if (hit)
        hit->OnMouseEnter();
}

HResult CSControlContainer::AddControl(CSControl* control)
{
    if (!control)
        return kStatusInvalidArg;
    control->index = static_cast<int32_t>(controls.size());
    try {
        for (const StyleEntry& entry : styles) {
            if (entry.typeCode != control->typeCode || entry.layerIndex < 0)
                continue;
            size_t at = static_cast<size_t>(entry.layerIndex);
            if (control->layers.size() <= at)
                control->layers.resize(at + 1);
            control->layers[at] = entry.style;
        }
        controls.reserve(controls.size() + 1);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    control->owner = this;
    HResult status = control->OnAttach();
    if (status < 0) {
        control->owner = nullptr;
        return status;
    }
    controls.push_back(control);
    return 0;
}

HResult CSControlContainer::SetStyle(int32_t typeCode, int32_t layerIndex, const SkinStyle& style)
{
    for (StyleEntry& entry : styles) {
        if (entry.typeCode == typeCode && entry.layerIndex == layerIndex) {
            entry.style = style;
            return 0;
        }
    }
    try {
        styles.push_back(StyleEntry { typeCode, layerIndex, style });
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    return 0;
}

void CSControlContainer::FillDefaultStyles()
{
    // One working record carries over from row to row: a row sets only the
    // fields it names, so the font and the frame width flow down the table.
    SkinStyle s;
    s.font = GetFont(FontDesc::Make(kSongTiFace, 14, 7, 14));
    s.textFormat = DT_NOPREFIX | DT_WORDBREAK;
    for (int32_t type : { 1, 16, 17 })
        SetStyle(type, 0, s);

    s.image = GetImage("yesBtn.jpg");
    if (s.image)
        s.frameWidth = s.image->Width();
    s.textFormat = DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    for (int32_t type : { 0, 15, 11 })
        SetStyle(type, 0, s);

    s.image = GetImage("HelpCheck.jpg");
    if (s.image)
        s.frameWidth = s.image->Width() / 2;
    for (int32_t type : { 2, 6 })
        SetStyle(type, 0, s);

    s.image = nullptr;
    SetStyle(7, 0, s);
    SetStyle(7, 1, s);
    SetStyle(9, 0, s);

    static const char* const kScrollBarImages[]
        = { "SBTrack.png", "SBUp.png", "SBDown.png", "SBThumb.png", "SBThumb1.png", "SBThumb2.png" };
    for (int32_t layer = 0; layer < 6; ++layer) {
        s.image = GetImage(kScrollBarImages[layer]);
        SetStyle(8, layer, s);
    }
}

CSControl* CSControlContainer::HitTestControls(int px, int py)
{
    for (CSControl* control : controls) {
        if (control->HitTest(px, py) && control->IsEnabled() && control->IsVisible())
            return control;
    }
    return nullptr;
}

CSControl* CSControlContainer::FindControl(int32_t controlId, int32_t typeCode) const
{
    for (CSControl* control : controls) {
        if (control->id == controlId && control->typeCode == typeCode)
            return control;
    }
    return nullptr;
}

void CSControlContainer::RequestFocus(CSControl* control)
{
    if (!control || !control->CanFocus())
        return;
    if (focusControl)
        focusControl->OnKillFocus();
    control->OnSetFocus();
    focusControl = control;
}

void CSControlContainer::ClearFocus()
{
    if (focusControl)
        focusControl->OnKillFocus();
    focusControl = nullptr;
    GetUiPlatform().ReleaseCapture();
}

// With no focus the search starts at the first (last) control; otherwise
// at the control after (before) the focus, which must be one of ours. Up to
// ten candidates are tried; when none accepts, the focus stays as it was.
bool CSControlContainer::MoveFocus(bool forward)
{
    CSControl* candidate = nullptr;
    if (!focusControl) {
        if (controls.empty())
            return true;
        candidate = forward ? controls.front() : controls.back();
        if (!candidate)
            return true;
    } else {
        if (focusControl->owner != this)
            return false;
        candidate = Step(focusControl, forward);
    }
    int tries = 1;
    while (!candidate || !candidate->CanFocus()) {
        if (tries >= kMaxFocusTries || !candidate)
            return true;
        candidate = Step(candidate, forward);
        ++tries;
    }
    if (focusControl)
        focusControl->OnKillFocus();
    focusControl = candidate;
    candidate->OnSetFocus();
    return true;
}

NativeWindow CSControlContainer::CaptureWindow() const
{
    if (!hostWindow)
        return SkinMainWindow();
    return GetUiPlatform().RootWindow(hostWindow);
}

bool CSControlContainer::HandleMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    if (window)
        hostWindow = window;
    if (!active)
        return false;
    if (OwnsFocus() && focusControl->IsEnabled() && focusControl->OnMessage(msg, wParam, lParam))
        return true;
    switch (msg) {
    case WM_MOVE:
    case WM_SIZE:
        OnMouseMove(-1, -1);
        return false;
    case WM_ACTIVATEAPP:
        if (OwnsFocus() && focusControl->IsEnabled()) {
            if (wParam == 0)
                focusControl->OnKillFocus();
            else
                focusControl->OnSetFocus();
        }
        return false;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return RouteKey(msg, wParam, lParam);
    case WM_CAPTURECHANGED:
        // Losing the capture to any window other than our own ends a drag,
        // and a press whose release will not come back to us.
        if (reinterpret_cast<NativeWindow>(lParam) != CaptureWindow()) {
            pressTarget_ = nullptr;
            for (CSControl* control : controls)
                DropPress(control);
            OnCaptureLost();
        }
        return false;
    default:
        if (IsMouseMessage(msg))
            return RouteMouse(window, msg, wParam, lParam);
        return false;
    }
}

bool CSControlContainer::RouteKey(unsigned msg, WParam wParam, LParam lParam)
{
    if (OwnsFocus() && focusControl->IsEnabled() && focusControl->OnKey(msg, wParam, lParam))
        return true;
    if (msg != WM_KEYDOWN)
        return false;
    if (!(focusControl && focusControl->typeCode == kTypeEditBox)) {
        for (CSControl* control : controls) {
            if (control->hotKey != 0 && static_cast<WParam>(control->hotKey) == wParam) {
                control->Activate();
                return true;
            }
        }
    }
    if (!navigationKeys)
        return false;
    switch (wParam) {
    case VK_TAB:
        return MoveFocus(!GetUiPlatform().IsKeyDown(VK_SHIFT));
    case VK_LEFT:
    case VK_UP:
        return focusControl ? MoveFocus(false) : false;
    case VK_RIGHT:
    case VK_DOWN:
        return focusControl ? MoveFocus(true) : false;
    default:
        return false;
    }
}

bool CSControlContainer::RouteMouse(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    if (!mouseEnabled)
        return false;
    UiPoint p = GetUiPlatform().CursorPos(window);
    int cx = p.x - x;
    int cy = p.y - y;
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK)
        pressTarget_ = nullptr; // a new press
    if (pressTarget_ && (msg == WM_MOUSEMOVE || msg == WM_LBUTTONUP)) {
        CSControl* target = pressTarget_;
        if (msg == WM_LBUTTONUP)
            pressTarget_ = nullptr;
        if (target != focusControl && target->OnMouse(msg, cx, cy, wParam, lParam))
            return true;
    }
    if (OwnsFocus() && focusControl->IsEnabled() && focusControl->OnMouse(msg, cx, cy, wParam, lParam))
        return true;
    CSControl* hit = HitTestControls(cx, cy);
    if (hit && hit->OnMouse(msg, cx, cy, wParam, lParam)) {
        if ((msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) && hit != focusControl)
            pressTarget_ = hit;
        return true;
    }
    if (!hit && msg == WM_LBUTTONDOWN && OwnsFocus()) {
        focusControl->OnKillFocus();
        focusControl = nullptr;
    }
    switch (msg) {
    case WM_MOUSEMOVE:
        return OnMouseMove(cx + x, cy + y);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return OnMouseDown(cx + x, cy + y);
    case WM_LBUTTONUP:
        return OnMouseUp(cx + x, cy + y);
    default:
        return false;
    }
}

void CSControlContainer::Paint(DibImage* surface, int originX, int originY)
{
    if (!active || !surface)
        return;
    int bx = originX + x;
    int by = originY + y;
    if (background && !background->Empty()) {
        // Drawn from the image origin, never past the image's own size.
        int w = std::min(width, background->Width());
        int h = std::min(height, background->Height());
        if (w > 0 && h > 0)
            AlphaBlendDib(*background, surface, bx, by, w, h, 0, 0);
    }
    CSControl* focus = OwnsFocus() ? focusControl : nullptr;
    for (CSControl* control : controls) {
        if (control != focus)
            control->Paint(surface, bx, by);
    }
    if (focus)
        focus->Paint(surface, bx, by);
}

} // namespace zdl
