// CSAnimate: a looping picture strip. Each repaint draws the current frame
// and counts; every `speed` repaints the next frame comes. The application
// repaints at most every 40 ms, so speed 3 shows a frame about every 120 ms.
// A hidden animation is not painted and so keeps its frame.
// The image belongs to the image cache. User-interface thread only.
#pragma once

#include "skin/Static.h"

namespace zdl {

class CSAnimate : public CSStatic {
public:
    CSAnimate();
    ~CSAnimate() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2

    // Makes |image| (a strip of |frames| equal frames) layer 0's picture and
    // sizes the control to one frame, from frame 0. A null image or a frame
    // count below 1 only sets the picture.
    void SetAnimationImage(DibImage* image, int frames);

    int32_t frameCount = 1;
    int32_t speed = 3; // repaints per frame
    int32_t tick = 0;
    int32_t currentFrame = 0;
};

} // namespace zdl
