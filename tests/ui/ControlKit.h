// Helpers for the control tests: a page that records its notifications, a
// strip picture with one solid colour per frame, and canvas pixel reads.
#pragma once

#include "skin/ControlContainer.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace zdl::test {

// A container that records (code, id) of every notification.
class RecordingPage : public CSControlContainer {
public:
    void OnNotify(int code, int id, CSControl*) override { notices.emplace_back(code, id); }
    int Count(int code) const
    {
        int n = 0;
        for (const auto& notice : notices)
            n += notice.first == code;
        return n;
    }
    std::vector<std::pair<int, int>> notices;
};

// A 32-bit strip of |frames| frames, each |frameWidth| x |height| and filled
// with blue = 10 * (frame + 1), green 0, red 0 and |alpha|.
inline std::unique_ptr<DibImage> MakeStrip(int frames, int frameWidth, int height, uint8_t alpha = 255)
{
    auto image = std::make_unique<DibImage>();
    EXPECT_TRUE(CreateDib(image.get(), 32, frames * frameWidth, height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < frames * frameWidth; ++x) {
            uint8_t* p = image->Pixel(x, y);
            p[0] = static_cast<uint8_t>(10 * (x / frameWidth + 1));
            p[3] = alpha;
        }
    }
    return image;
}

// Which strip frame (0-based) a canvas pixel shows; -1 for none drawn.
// An opaque blend gives 255/256 of the source, so round to the nearest ten.
inline int FrameAt(const DibImage& canvas, int x, int y)
{
    const uint8_t* p = canvas.Pixel(x, y);
    return p[0] == 0 ? -1 : (p[0] + 5) / 10 - 1;
}

// Places a control the way the layout loader does.
inline void Place(CSControl* control, int x, int y, int w, int h)
{
    control->x = x;
    control->y = y;
    control->width = w;
    control->height = h;
    control->UpdateRect();
}

} // namespace zdl::test
