// Figures for rich text, natively with the real archive: the licence page's
// scroll static filled with the whole licence text ("安装包_最终用户许可.txt",
// GBK, each CR LF turned into "#r" as the page does) — parsing the markup,
// laying it out (once per text change) and painting the view per frame, at
// the top, in the middle and at the end of the text, against the 40 ms frame.
// With a file name argument it also writes the painted page there as PNG,
// scrolled to the top, and beside it (name + ".end.png") scrolled to the end.
#include "bench/ui/BenchClock.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "skin/ScrollStatic.h"
#include "tests/ui/PngWrite.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace zdl;
using namespace zdl::bench;

namespace {

// "安装包_最终用户许可.txt" and "宋体" in GBK.
const char kLicenceName[] = "\xB0\xB2\xD7\xB0\xB0\xFC_\xD7\xEE\xD6\xD5\xD3\xC3\xBB\xA7\xD0\xED\xBF\xC9.txt";

// Median and mean of |runs| calls of |f|, in ms.
template <class F> void Time(const char* what, int runs, F f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        f();
        t.push_back(Ms(Clock::now() - start));
    }
    std::vector<double> sorted = t;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double v : t)
        sum += v;
    std::printf("  %-40s %8.3f / %8.3f ms\n", what, sorted[sorted.size() / 2], sum / t.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (!LoadResourceArchive()) {
        std::printf("bench_richtext: no resource archive\n");
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (!ReadResourceFile(kLicenceName, &bytes)) {
        std::printf("bench_richtext: no licence text in the archive\n");
        return 1;
    }
    std::string text(bytes.begin(), bytes.end());
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\r' && text[i + 1] == '\n') {
            text[i] = '#';
            text[i + 1] = 'r';
        }
    }

    CSScrollStatic view;
    std::snprintf(view.fontFace, sizeof view.fontFace, "%s", kSongTiFace);
    view.x = 59;
    view.y = 55;
    view.width = 395;
    view.height = 392;
    view.autoTextWidth = false;
    view.textWidth = 387;
    view.autoViewHeight = false;
    view.viewHeight = 387;
    view.trackImage = GetImage("scroll.png");
    view.upImage = GetImage("btn_up.tcp");
    view.downImage = GetImage("btn_down.tcp");
    view.thumbImage = GetImage("btn_thumb.tcp");
    view.thumbMarginTop = 5;
    view.thumbMarginBottom = 5;
    view.UpdateRect();
    view.LayoutScrollBar();

    DibImage canvas;
    if (!CreateDib(&canvas, 32, 488, 510)) {
        std::printf("bench_richtext: no canvas\n");
        return 1;
    }
    DibImage* page = GetImage("msg_box.png");
    auto clear = [&] {
        if (page)
            BlitDib(*page, &canvas, 0, 0, std::min(page->Width(), 488), std::min(page->Height(), 510), 0, 0);
    };
    clear();
    view.SetMarkupText(text.c_str());
    int content = view.Layout(0);
    std::printf("licence text: %zu bytes, %zu segments, %zu lines, content %d px, %zu stops\n", text.size(),
        view.segments.size(), view.lines.size(), content, view.stops.size());
    std::printf("rich text, 395 x 392 view (ms: median / mean)\n");
    Time("parse markup (once per text change)", 50, [&] { view.SetMarkupText(text.c_str()); });
    Time("lay out (once per text change)", 50, [&] { view.Layout(0); });
    const int kFrames = 200;
    Time("paint, top of the text (per frame)", kFrames, [&] { view.Paint(&canvas, 0, 0); });
    if (argc > 1) {
        clear();
        view.Paint(&canvas, 0, 0);
        test::WritePng(canvas, argv[1]);
    }
    view.ScrollBy(static_cast<int>(view.stops.size() / 2));
    Time("paint, middle of the text (per frame)", kFrames, [&] { view.Paint(&canvas, 0, 0); });
    view.ScrollBy(static_cast<int>(view.stops.size()));
    Time("paint, end of the text (per frame)", kFrames, [&] { view.Paint(&canvas, 0, 0); });
    if (argc > 1) {
        clear();
        view.Paint(&canvas, 0, 0);
        test::WritePng(canvas, std::string(argv[1]) + ".end.png");
    }
    return 0;
}
