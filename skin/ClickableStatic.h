// CSClickableStatic: a caption that works like a button (a link such as the
// licence link of the download page): it takes the focus, sends 257 when
// clicked, and its caption shifts one pixel right and two down while pressed.
// User-interface thread only.
#pragma once

#include "skin/Static.h"

namespace zdl {

class CSClickableStatic : public CSStatic {
public:
    CSClickableStatic();
    ~CSClickableStatic() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool OnMouse(unsigned msg, int px, int py, WParam wParam, LParam lParam) override; // 5
    bool CanFocus() override; // 6
    bool HitTest(int px, int py) override; // 12
    void SetEnabled(bool enable) override; // 13
    void SetVisible(bool show) override; // 15

    bool pressed = false;
};

} // namespace zdl
