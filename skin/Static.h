// CSStatic: a caption drawn in the control's rectangle with layer 0's font,
// format and colours, over an optional background picture. It never takes
// the mouse. Base of the button, the animation and the clickable text.
//
// The caption is GBK, at most 255 bytes; the background picture belongs to
// the image cache. User-interface thread only.
#pragma once

#include "skin/Control.h"

namespace zdl {

// Longest caption in bytes (the buffer holds one more for the NUL).
constexpr size_t kMaxCaptionBytes = 255;

class CSStatic : public CSControl {
public:
    CSStatic();
    ~CSStatic() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool HitTest(int px, int py) override; // 12

    // Copies at most 255 bytes of |text| (null empties the caption), never
    // cutting a double-byte character in two.
    void SetCaption(const char* text);

    char caption[kMaxCaptionBytes + 1] = {}; // GBK, NUL-terminated
    DibImage* backImage = nullptr; // not owned; null when none
    // Container coordinates; when its left edge is not 0 the background is
    // stretched into it, otherwise drawn unscaled at the control's place.
    DibRect backRect;

protected:
    explicit CSStatic(int32_t typeCode);
};

} // namespace zdl
