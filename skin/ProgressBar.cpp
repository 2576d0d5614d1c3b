#include "skin/ProgressBar.h"

#include "skin/ControlPaint.h"

#include <algorithm>

namespace zdl {

CSProgressBar::CSProgressBar()
    : CSControl(kTypeProgressBar)
{
}

CSProgressBar::~CSProgressBar() = default;

int CSProgressBar::FilledWidth() const
{
    // A status update may hand over any number; never draw outside the bar.
    int p = std::clamp<int32_t>(percent, 0, 100);
    return static_cast<int>(static_cast<int64_t>(p) * std::max(width, 0) / 100);
}

void CSProgressBar::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || !image)
        return;
    int filled = FilledWidth();
    if (filled <= 0)
        return;
    if (growFromLeft)
        DrawImagePart(surface, image, x + ox, y + oy, filled, height, 0, 0);
    else
        DrawImagePart(surface, image, x + ox + width - filled, y + oy, filled, height, width - filled, 0);
}

} // namespace zdl
