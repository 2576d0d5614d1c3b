// CSProgressBar: the part of its picture that stands for `percent` of the
// control's width, growing from the left (or from the right). The empty part
// is not drawn, so the page's background shows through. Pages set `percent`
// directly; values outside 0..100 draw as the nearest end.
// The image belongs to the image cache. User-interface thread only.
#pragma once

#include "skin/Control.h"

namespace zdl {

class CSProgressBar : public CSControl {
public:
    CSProgressBar();
    ~CSProgressBar() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2

    // Pixels of the width that `percent` fills, clamped to 0..width.
    int FilledWidth() const;

    DibImage* image = nullptr; // not owned
    int32_t percent = 0; // 0..100
    bool growFromLeft = true;
};

} // namespace zdl
