// Figures for painting the controls, natively with the real archive: the
// showcase panel (every kind of control: buttons, check box, clickable
// text, statics, bar, animation, digit pictures, edit box with a selection
// and a blinking caret, rich text) painted per frame over the 868 x 513
// background, against the 40 ms frame (aim: the whole frame under 4 ms).
#include "bench/ui/BenchClock.h"
#include "tests/ui/ControlShowcase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace zdl;
using namespace zdl::bench;

namespace {

void Report(const char* what, std::vector<double> samples)
{
    double sum = 0;
    for (double v : samples)
        sum += v;
    std::sort(samples.begin(), samples.end());
    std::printf("  %-22s %8.3f / %8.3f ms\n", what, samples[samples.size() / 2], sum / samples.size());
}

} // namespace

int main()
{
    RealClock clock;
    SetUiPlatform(&clock);
    DibImage* bg = LoadResourceArchive() ? GetImage("bg.png") : nullptr;
    if (!bg) {
        std::printf("bench_controls: no archive or no bg.png\n");
        return 1;
    }
    CSControlContainer page;
    page.FillDefaultStyles();
    if (!test::BuildControlShowcase(&page)) {
        std::printf("bench_controls: a showcase picture is missing\n");
        return 1;
    }
    // The edit box has the focus, so its caret blinks as it would.
    for (CSControl* c : page.controls) {
        if (c->typeCode == kTypeEditBox)
            page.RequestFocus(c);
        if (c->typeCode == kTypeAnimate)
            static_cast<CSAnimate*>(c)->speed = 3;
    }
    DibImage canvas;
    if (!CreateDib(&canvas, 32, bg->Width(), bg->Height())) {
        std::printf("bench_controls: no canvas\n");
        return 1;
    }
    constexpr int kFrames = 500;
    std::vector<double> copy, paint, premultiply, whole;
    for (int i = 0; i < kFrames + 20; ++i) {
        auto t0 = Clock::now();
        CopyDib(*bg, &canvas);
        auto t1 = Clock::now();
        page.Paint(&canvas, 0, 0);
        auto t2 = Clock::now();
        PremultiplyDib(&canvas);
        auto t3 = Clock::now();
        if (i < 20)
            continue; // warm-up: glyph caches, first touches of the canvas
        copy.push_back(Ms(t1 - t0));
        paint.push_back(Ms(t2 - t1));
        premultiply.push_back(Ms(t3 - t2));
        whole.push_back(Ms(t3 - t0));
    }
    std::printf(
        "showcase panel, %zu controls on 868 x 513, %d frames (median / mean)\n", page.controls.size(), kFrames);
    Report("background copy", copy);
    Report("controls paint", paint);
    Report("premultiply", premultiply);
    Report("whole frame", whole);
    std::vector<double> sorted = whole;
    std::sort(sorted.begin(), sorted.end());
    std::printf("  whole frame = %.1f%% of the 40 ms budget (aim: under 4 ms)\n", sorted[sorted.size() / 2] * 2.5);
    focusControl = nullptr;
    SetUiPlatform(nullptr);
    return 0;
}
