// CSButton: a picture button. Its layer-0 image is a horizontal strip of
// equal frames (normal, pressed, hover, disabled, and in six-frame strips
// focused); the frame of the current visual state is drawn with an optional
// icon and a caption. A click (press and release inside, Enter or Space, or
// the hot key) sends notification 257 to the page; hovering shows its tip
// text in the page's tooltip.
//
// While pressed by the mouse the button holds the capture of its own
// top-level window; hiding or disabling it ends the press and gives the
// capture back. Images belong to the image cache. User-interface thread only.
#pragma once

#include "skin/Static.h"

#include <string>

namespace zdl {

// Visual states: index of the strip frame and of the caption colour.
enum VisualState : int {
    kStateNormal = 0,
    kStatePressed = 1,
    kStateHover = 2,
    kStateDisabled = 3,
    kStateFocused = 5,
};

// Alpha a pixel of the picture needs for a click on it to hit the button.
constexpr int kAlphaHitThreshold = 50;

class CSButton : public CSStatic {
public:
    CSButton();
    ~CSButton() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool OnKey(unsigned msg, WParam wParam, LParam lParam) override; // 4
    bool OnMouse(unsigned msg, int px, int py, WParam wParam, LParam lParam) override; // 5
    bool CanFocus() override; // 6
    void OnMouseEnter() override; // 9
    void OnMouseLeave() override; // 10
    void Activate() override; // 11
    bool HitTest(int px, int py) override; // 12
    void SetEnabled(bool enable) override; // 13
    void SetVisible(bool show) override; // 15

    // Disabled, pressed, hover, focused, normal: the first that holds.
    int State() const;

    bool pressed = false;
    bool alphaHitTest = false; // clicks on see-through pixels miss
    bool notifyOnHover = false; // the mouse entering also sends 257
    DibImage* icon = nullptr; // not owned; drawn left of the caption
    std::string tipText; // tooltip markup; empty = no tooltip

protected:
    explicit CSButton(int32_t typeCode);
    // Moves the focus here (when navigation keys are on and it can take it).
    void FocusForActivation();
};

} // namespace zdl
