// Figures for the main window's frame, natively with the real archive:
//   each step of a frame on the 868 x 513 canvas (background copy, desktop
//   paint with a page of captions, premultiply, present) and their sum,
//   against the 40 ms frame budget;
//   the idle loop's CPU use while the main window is open and nothing
//   changes (frames paced at 40 ms, the loop waiting for messages until the
//   next frame, unchanged frames not pushed again), over a few seconds.
// The native present only hands the frame to the simulated window system;
// on Windows it is one UpdateLayeredWindow.
#include "app/SampleApp.h"
#include "bench/ui/BenchClock.h"
#include "gfx/TextDraw.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace zdl;
using namespace zdl::bench;

namespace {

// "下载速度" and a line of progress text, as the download page shows.
const char* const kTexts[] = { "\xCF\xC2\xD4\xD8\xCB\xD9\xB6\xC8", "Zephyra 1.2 GB / 3.4 GB  35%",
    "\xCA\xA3\xD3\xE0\xCA\xB1\xBC\xE4 00:12:34", "2048 KB/s" };

class Caption : public CSControl {
public:
    explicit Caption(const char* text)
        : CSControl(kTypeStatic)
        , text_(text)
    {
    }
    void Paint(DibImage* surface, int ox, int oy) override
    {
        if (!visible || layers.empty())
            return;
        DibRect r { ox + rect.left, oy + rect.top, ox + rect.right, oy + rect.bottom };
        DrawTextOnCanvas(surface, layers[0].font, MakeRgb(40, 30, 20), text_, -1, r, layers[0].textFormat);
    }

private:
    const char* text_;
};

class BenchPage : public CSBitmapDialog {
public:
    bool OnInit() override
    {
        for (int i = 0; i < 12; ++i) {
            auto* c = new Caption(kTexts[i % 4]);
            if (AddControl(c) != 0) {
                delete c;
                continue;
            }
            c->x = 120 + (i % 3) * 220;
            c->y = 270 + (i / 3) * 16;
            c->width = 200;
            c->height = 16;
            c->UpdateRect();
        }
        return true;
    }
};

CSBitmapDialog* MakeBenchPage(CMainWin*)
{
    return new BenchPage;
}

double CpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Stat {
    std::vector<double> samples;
    void Add(double v) { samples.push_back(v); }
    double Median()
    {
        std::sort(samples.begin(), samples.end());
        return samples[samples.size() / 2];
    }
    double Mean()
    {
        double s = 0;
        for (double v : samples)
            s += v;
        return s / samples.size();
    }
};

} // namespace

int main()
{
    RealClock platform;
    SetUiPlatform(&platform);
    CSampleApp app;
    app.mainWin.makePage = MakeBenchPage;
    if (!app.InitInstance() || !app.mainWin.background) {
        std::printf("bench_ui: no main window or no bg.png in the archive\n");
        return 1;
    }
    CMainWin& w = app.mainWin;
    constexpr int kFrames = 300;
    Stat copy, paint, premultiply, present, total;
    for (int i = 0; i < kFrames + 10; ++i) {
        auto t0 = Clock::now();
        CopyDib(*w.background, &w.canvas);
        auto t1 = Clock::now();
        w.desktop.Paint(&w.canvas, 0, 0);
        auto t2 = Clock::now();
        PremultiplyDib(&w.canvas);
        auto t3 = Clock::now();
        WsPresentLayered(w.handle(), w.canvas.Surface(), w.left, w.top, w.clientWidth, w.clientHeight, 0, 0);
        w.desktop.AfterPresent();
        auto t4 = Clock::now();
        if (i < 10)
            continue; // warm-up: glyph caches, first touches of the canvas
        copy.Add(Ms(t1 - t0));
        paint.Add(Ms(t2 - t1));
        premultiply.Add(Ms(t3 - t2));
        present.Add(Ms(t4 - t3));
        total.Add(Ms(t4 - t0));
    }
    std::printf("frame of the main window, 868 x 513, 12 captions, %d frames (ms: median / mean)\n", kFrames);
    std::printf("  background copy   %8.3f / %8.3f\n", copy.Median(), copy.Mean());
    std::printf("  desktop paint     %8.3f / %8.3f\n", paint.Median(), paint.Mean());
    std::printf("  premultiply       %8.3f / %8.3f\n", premultiply.Median(), premultiply.Mean());
    std::printf("  present (native)  %8.3f / %8.3f\n", present.Median(), present.Mean());
    double med = total.Median();
    std::printf("  whole frame       %8.3f / %8.3f  = %.1f%% of the 40 ms budget (aim: under 10%%)\n", med,
        total.Mean(), med * 100.0 / 40.0);

    // The real idle loop: the application's OnIdle as the message loop calls
    // it while no message waits.
    constexpr double kIdleSeconds = 3.0;
    int before = w.renderedFrames;
    int presentsBefore = WsSimulatedStats(w.handle()).presentedFrames;
    double cpu0 = CpuSeconds();
    auto start = Clock::now();
    int calls = 0;
    while (std::chrono::duration<double>(Clock::now() - start).count() < kIdleSeconds)
        app.OnIdle(calls++);
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = CpuSeconds() - cpu0;
    int frames = w.renderedFrames - before;
    int presents = WsSimulatedStats(w.handle()).presentedFrames - presentsBefore;
    std::printf(
        "idle loop over %.1f s: %d frames (%.1f per second), %d pushed, %d idle calls, CPU %.1f%% of one core\n", wall,
        frames, frames / wall, presents, calls, cpu * 100.0 / wall);
    WsDestroyWindow(w.handle());
    SetUiPlatform(nullptr);
    return 0;
}
