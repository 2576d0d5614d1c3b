#include "skin/ScrollStatic.h"

#include "platform/UiPlatform.h"
#include "skin/ControlContainer.h"
#include "skin/ControlInput.h"

#include <algorithm>
#include <cstdint>

namespace zdl {

namespace {

    // Gap between the text and the scroll bar column.
    constexpr int kTextToBarGap = 5;

    int FrameWidth(const DibImage* image)
    {
        return image && !image->Empty() ? image->Width() / kScrollStripFrames : 0;
    }

    int ImageWidth(const DibImage* image)
    {
        return image && !image->Empty() ? image->Width() : 0;
    }

    int ImageHeight(const DibImage* image)
    {
        return image && !image->Empty() ? image->Height() : 0;
    }

    bool Inside(const DibRect& r, int px, int py)
    {
        return px >= r.left && px < r.right && py >= r.top && py < r.bottom;
    }

    DibRect PartRect(int centre, int top, int w, int h)
    {
        DibRect r;
        r.left = centre - w / 2;
        r.top = top;
        r.right = r.left + w;
        r.bottom = top + h;
        return r;
    }

} // namespace

CSScrollStatic::CSScrollStatic()
    : CSMultiColorStatic(kTypeScrollStatic)
{
}

bool CSScrollStatic::HitTest(int px, int py)
{
    return CSControl::HitTest(px, py);
}

void CSScrollStatic::UpdateRect()
{
    CSControl::UpdateRect();
    layoutValid = false;
    LayoutScrollBar();
    if (autoViewHeight)
        viewHeight = rect.bottom - rect.top;
}

void CSScrollStatic::LayoutScrollBar()
{
    int a = FrameWidth(upImage);
    int b = FrameWidth(downImage);
    int c = ImageWidth(trackImage);
    int d = FrameWidth(thumbImage);
    int column = std::max(a, b);
    int centre = rect.right - column / 2;
    upRect = PartRect(centre, rect.top, a, ImageHeight(upImage));
    downRect = PartRect(centre, rect.bottom - ImageHeight(downImage), b, ImageHeight(downImage));
    int trackHeight = ImageHeight(trackImage);
    trackRect = PartRect(centre, rect.top + (rect.bottom - rect.top - trackHeight) / 2, c, trackHeight);
    thumbRect = PartRect(centre, trackRect.top + thumbMarginTop, d, ImageHeight(thumbImage));
    if (autoTextWidth)
        textWidth = rect.right - rect.left - column - kTextToBarGap;
}

int32_t CSScrollStatic::Layout(int32_t)
{
    int32_t content = CSMultiColorStatic::Layout(textWidth);
    scrollRange = content - viewHeight;
    hasScrollBar = scrollRange > 0;
    stops.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
        int32_t y = lines[i].y;
        if ((stops.empty() || y > stops.back().y) && y < scrollRange)
            stops.push_back(ScrollStop { y, static_cast<int32_t>(i) });
    }
    stopIndex = 0;
    PlaceThumb(ThumbTopMin());
    return content;
}

int CSScrollStatic::ThumbTopMin() const
{
    return trackRect.top + thumbMarginTop;
}

int CSScrollStatic::ThumbTravel() const
{
    int travel
        = (trackRect.bottom - trackRect.top) - (thumbRect.bottom - thumbRect.top) - thumbMarginTop - thumbMarginBottom;
    return std::max(0, travel);
}

void CSScrollStatic::PlaceThumb(int top)
{
    int h = thumbRect.bottom - thumbRect.top;
    thumbRect.top = top;
    thumbRect.bottom = top + h;
}

int CSScrollStatic::ThumbTopForStop(size_t i) const
{
    if (i >= stops.size() || scrollRange <= 0)
        return ThumbTopMin();
    int64_t offset = static_cast<int64_t>(ThumbTravel()) * stops[i].y / scrollRange;
    return ThumbTopMin() + static_cast<int>(std::clamp<int64_t>(offset, 0, ThumbTravel()));
}

void CSScrollStatic::ScrollBy(int steps)
{
    if (stops.empty()) {
        stopIndex = 0;
        return;
    }
    int64_t next = static_cast<int64_t>(stopIndex) + steps;
    stopIndex = static_cast<int32_t>(std::clamp<int64_t>(next, 0, static_cast<int64_t>(stops.size()) - 1));
    PlaceThumb(ThumbTopForStop(static_cast<size_t>(stopIndex)));
}

// The thumb follows the pointer with its top edge while the pointer is above
// it and with its bottom edge below. The stop shown is the last one whose own
// thumb place (where ScrollBy puts the thumb) is at or above the thumb, so
// dragging the thumb onto a stop's place shows that stop.
void CSScrollStatic::DragThumbTo(int py)
{
    int thumbHeight = thumbRect.bottom - thumbRect.top;
    if (py > thumbRect.top)
        py -= thumbHeight;
    int lo = ThumbTopMin();
    int hi = lo + ThumbTravel();
    py = std::clamp(py, lo, hi);
    PlaceThumb(py);
    if (stops.empty()) {
        stopIndex = 0;
        return;
    }
    if (ThumbTravel() == 0)
        return; // no travel (pictures missing): the thumb cannot choose a stop
    size_t first = 0;
    size_t count = stops.size();
    while (count > 0) { // upper bound over the monotonic thumb places
        size_t half = count / 2;
        if (ThumbTopForStop(first + half) <= py) {
            first += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    stopIndex = static_cast<int32_t>(first == 0 ? 0 : first - 1);
}

int CSScrollStatic::PartAt(int px, int py) const
{
    if (Inside(upRect, px, py))
        return kScrollPartUp;
    if (Inside(downRect, px, py))
        return kScrollPartDown;
    if (Inside(thumbRect, px, py))
        return kScrollPartThumb;
    if (Inside(trackRect, px, py))
        return kScrollPartTrack;
    return kScrollPartNone;
}

void CSScrollStatic::EndPress()
{
    if (pressedPart == kScrollPartNone)
        return;
    pressedPart = kScrollPartNone;
    UiPlatform& ui = GetUiPlatform();
    if (ui.GetCapture() && ui.GetCapture() == ControlWindow(this))
        ui.ReleaseCapture();
}

void CSScrollStatic::SetVisible(bool show)
{
    if (!show)
        EndPress();
    CSMultiColorStatic::SetVisible(show);
}

void CSScrollStatic::SetEnabled(bool enable)
{
    if (!enable)
        EndPress();
    CSMultiColorStatic::SetEnabled(enable);
}

void CSScrollStatic::OnMouseLeave()
{
    CSMultiColorStatic::OnMouseLeave();
    hoverPart = kScrollPartNone;
}

bool CSScrollStatic::OnMouse(unsigned msg, int px, int py, WParam wParam, LParam)
{
    if (!enabled || !visible || !hasScrollBar)
        return false;
    UiPlatform& ui = GetUiPlatform();
    switch (msg) {
    case WM_MOUSEMOVE: {
        // A release that happened off the control never reached it.
        if (pressedPart != kScrollPartNone && !(wParam & MK_LBUTTON))
            EndPress();
        int part = PartAt(px, py);
        if (part == kScrollPartTrack && pressedPart == kScrollPartThumb) {
            part = kScrollPartThumb;
            DragThumbTo(py);
        }
        hoverPart = part;
        if (hoverPart != kScrollPartNone)
            ui.SetCursorShape(CursorShape::kHand);
        return false;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        int part = PartAt(px, py);
        if (part == kScrollPartNone)
            return false;
        pressedPart = part;
        if (part == kScrollPartUp || part == kScrollPartDown) {
            ScrollBy(part == kScrollPartUp ? -1 : 1);
            pressTime = ui.TickCount();
        } else if (part == kScrollPartTrack) {
            DragThumbTo(py);
        }
        ui.SetCursorShape(CursorShape::kHand);
        CaptureMouseFor(this);
        if (!focused && owner)
            owner->RequestFocus(this);
        return true;
    }
    case WM_LBUTTONUP:
        if (pressedPart == kScrollPartNone)
            return false;
        ui.SetCursorShape(CursorShape::kHand);
        pressedPart = kScrollPartNone;
        ui.ReleaseCapture();
        if (owner && !owner->navigationKeys)
            owner->ClearFocus();
        return true;
    case WM_MOUSEWHEEL: {
        if (hoverPart != kScrollPartNone)
            return false;
        auto delta = static_cast<int16_t>((static_cast<uint32_t>(wParam) >> 16) & 0xFFFF);
        if (delta > 0)
            ScrollBy(-1);
        else if (delta < 0)
            ScrollBy(1);
        return true;
    }
    default:
        return false;
    }
}

int CSScrollStatic::PartFrame(int part) const
{
    if (!hasScrollBar)
        return kScrollFrameDisabled;
    if (pressedPart == part)
        return kScrollFramePressed;
    if (pressedPart != kScrollPartNone)
        return kScrollFrameNormal;
    if (hoverPart == part)
        return kScrollFrameHover;
    return kScrollFrameNormal;
}

void CSScrollStatic::DrawPart(DibImage* surface, const DibImage* image, const DibRect& r, int frame, int ox, int oy)
{
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    if (!image || image->Empty() || w <= 0 || h <= 0)
        return;
    AlphaBlendDib(*image, surface, r.left + ox, r.top + oy, w, h, frame * w, 0);
}

void CSScrollStatic::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || !surface)
        return;
    if (!layoutValid)
        Layout(textWidth);
    DrawPart(surface, trackImage, trackRect, 0, ox, oy);
    if (hasScrollBar && (pressedPart == kScrollPartUp || pressedPart == kScrollPartDown) && hoverPart == pressedPart) {
        uint32_t now = GetUiPlatform().TickCount();
        if (now - pressTime >= repeatDelay) { // unsigned: right across the tick wrap
            ScrollBy(pressedPart == kScrollPartUp ? -1 : 1);
            pressTime = now;
        }
    }
    DrawPart(surface, upImage, upRect, PartFrame(kScrollPartUp), ox, oy);
    DrawPart(surface, downImage, downRect, PartFrame(kScrollPartDown), ox, oy);
    if (hasScrollBar)
        DrawPart(surface, thumbImage, thumbRect, PartFrame(kScrollPartThumb), ox, oy);

    DibRect view { rect.left + ox, rect.top + oy, rect.right + ox, rect.bottom + oy };
    int excess = (view.bottom - view.top) - viewHeight;
    if (excess > 0) {
        view.top += excess / 2;
        view.bottom = view.top + viewHeight;
    }
    size_t first = 0;
    int stopY = 0;
    if (!stops.empty()) {
        const ScrollStop& stop
            = stops[static_cast<size_t>(std::clamp<int32_t>(stopIndex, 0, static_cast<int32_t>(stops.size()) - 1))];
        first = static_cast<size_t>(stop.line);
        stopY = stop.y;
    }
    for (size_t i = first; i < lines.size(); ++i) {
        if (view.top + lines[i].y - stopY >= view.bottom)
            break;
        DrawLine(surface, lines[i], view.left, view.top - stopY, view);
    }
}

} // namespace zdl
