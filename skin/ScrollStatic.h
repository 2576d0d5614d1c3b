// CSScrollStatic: rich text (CSMultiColorStatic) in a view with a vertical
// scroll bar drawn from four skin pictures: the track (one frame) and the
// up arrow, down arrow and thumb (strips of 4 frames: normal, pressed,
// hover, disabled). The licence page shows the licence agreement in one.
//
// The view scrolls by whole lines: `stops` lists the line tops the view can
// start at, `stopIndex` is the first visible one. The arrows and the wheel
// step one stop, the thumb and the track drag to a stop; a held arrow
// repeats every `repeatDelay` ms as long as the window repaints and the
// pointer stays on it. Missing pictures give zero-sized parts: the text
// still shows and nothing divides by zero.
//
// Part rectangles are in container coordinates. The pictures belong to the
// image cache. The mouse is captured to the control's own top-level window
// while a part is pressed. User-interface thread only.
#pragma once

#include "skin/MultiColorStatic.h"

#include <cstdint>
#include <vector>

namespace zdl {

// Scroll bar parts (pressedPart, hoverPart).
enum ScrollPart : int32_t {
    kScrollPartNone = 0,
    kScrollPartUp = 1,
    kScrollPartDown = 2,
    kScrollPartTrack = 3,
    kScrollPartThumb = 4,
};

// Frames of the arrow and thumb strips.
enum ScrollFrame : int {
    kScrollFrameNormal = 0,
    kScrollFramePressed = 1,
    kScrollFrameHover = 2,
    kScrollFrameDisabled = 3,
};
constexpr int kScrollStripFrames = 4;

struct ScrollStop {
    int32_t y = 0; // top of the line, from the top of the content
    int32_t line = 0; // index into `lines`
};

class CSScrollStatic : public CSMultiColorStatic {
public:
    CSScrollStatic();

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool OnMouse(unsigned msg, int px, int py, WParam wParam, LParam lParam) override; // 5
    void OnMouseLeave() override; // 10
    bool HitTest(int px, int py) override; // 12: rect
    // Hiding or disabling ends a press and gives the mouse capture back.
    void SetEnabled(bool enable) override; // 13
    void SetVisible(bool show) override; // 15
    // rect, layout invalid, LayoutScrollBar, and the view height when automatic.
    void UpdateRect() override; // 18
    // Lays out at `textWidth`, sets scrollRange, hasScrollBar and the stops,
    // and goes back to the first stop.
    int32_t Layout(int32_t width) override; // 26

    // Places the parts in the column at the right edge of `rect` from the
    // pictures' sizes; sets textWidth when automatic.
    void LayoutScrollBar();
    // Moves |steps| stops down (negative: up), clamped, and the thumb with it.
    void ScrollBy(int steps);
    // Moves the thumb for a pointer at |py| (container coordinates) and
    // shows the stop the thumb stands for.
    void DragThumbTo(int py);
    // The frame a part's strip shows now.
    int PartFrame(int part) const;

    bool autoTextWidth = true; // textWidth = rect width - bar column - 5
    bool autoViewHeight = true; // viewHeight = rect height
    bool hasScrollBar = false; // content taller than the view
    int32_t textWidth = 0;
    int32_t viewHeight = 0;
    int32_t scrollRange = 0; // content height - viewHeight
    int32_t pressedPart = kScrollPartNone;
    int32_t hoverPart = kScrollPartNone;
    uint32_t pressTime = 0; // tick of the last arrow press or repeat
    uint32_t repeatDelay = 100; // ms between repeats of a held arrow
    int32_t stopIndex = 0;
    int32_t thumbMarginTop = 0; // thumb travel insets inside the track
    int32_t thumbMarginBottom = 0;
    DibImage* trackImage = nullptr; // not owned (image cache)
    DibImage* upImage = nullptr;
    DibImage* downImage = nullptr;
    DibImage* thumbImage = nullptr;
    DibRect trackRect;
    DibRect upRect;
    DibRect downRect;
    DibRect thumbRect;
    std::vector<ScrollStop> stops;

private:
    int PartAt(int px, int py) const;
    // Thumb travel in pixels (never negative) and its top end.
    int ThumbTravel() const;
    int ThumbTopMin() const;
    void PlaceThumb(int top);
    // Where the thumb stands for stop |i|.
    int ThumbTopForStop(size_t i) const;
    void EndPress();
    void DrawPart(DibImage* surface, const DibImage* image, const DibRect& r, int frame, int ox, int oy);
};

} // namespace zdl
