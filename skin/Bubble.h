// CSBubble: a plain picture drawn at the control's size. Pages swap its
// picture by replacing `image` (the percentage digits do). An enabled bubble
// hides itself when clicked; the layout loader's bubbles are disabled.
// The image belongs to the image cache. User-interface thread only.
#pragma once

#include "skin/Control.h"

namespace zdl {

class CSBubble : public CSControl {
public:
    CSBubble();
    ~CSBubble() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool OnMouse(unsigned msg, int px, int py, WParam wParam, LParam lParam) override; // 5

    DibImage* image = nullptr; // not owned
};

} // namespace zdl
