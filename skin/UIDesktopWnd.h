// CSUIDesktopWnd: the windowless container that stands for the whole client
// area of a top-level window. It holds the page panels, offers every message
// to them from the last attached to the first, and paints them in attachment
// order over its own controls, so a later panel is on top and hears the
// mouse first.
//
// The desktop owns its panels. User-interface thread only.
#pragma once

#include "skin/BitmapDialog.h"

#include <vector>

namespace zdl {

class CSUIDesktopWnd : public CSControlContainer {
public:
    CSUIDesktopWnd();
    ~CSUIDesktopWnd() override;

    // Takes ownership of |panel|: fills its default styles, runs its OnInit
    // (the result is not used) and OnAttached, and appends it.
    void AttachPanel(CSBitmapDialog* panel);
    // Removes |panel| from the list and deletes it; a panel that is not in
    // the list is left alone.
    void RemovePanel(CSBitmapDialog* panel);

    bool HandleMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam) override;
    void Paint(DibImage* surface, int originX, int originY) override;

    // Every panel's AfterPresent, in attachment order.
    void AfterPresent();
    // True when every panel agrees to close.
    bool CanClose();

    std::vector<CSBitmapDialog*> panels; // owned, in attachment order
};

} // namespace zdl
