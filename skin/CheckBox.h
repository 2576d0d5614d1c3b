// CSCheckBox: a box picture (a two-frame strip: unchecked, checked) with a
// caption to its right. A click on the box or the caption, Enter or Space,
// or the hot key toggles it and sends notification 1025; a change made by the
// program notifies only when asked to or when the page reports all changes.
//
// Like a button it captures its own top-level window's mouse while pressed.
// User-interface thread only.
#pragma once

#include "skin/Button.h"

namespace zdl {

class CSCheckBox : public CSButton {
public:
    CSCheckBox();
    ~CSCheckBox() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool OnKey(unsigned msg, WParam wParam, LParam lParam) override; // 4
    bool OnMouse(unsigned msg, int px, int py, WParam wParam, LParam lParam) override; // 5
    void Activate() override; // 11
    bool HitTest(int px, int py) override; // 12
    // Lays out the box and the caption; see the .cpp.
    void UpdateRect() override; // 18
    // Sets the state; notifies 1025 when |notify| or the owner's
    // reportAllChanges is set.
    virtual void SetChecked(bool value, bool notify); // 19

    bool isChecked = false;
    DibRect boxRect; // the box picture, container coordinates
    DibRect textRect; // the caption, container coordinates
};

} // namespace zdl
