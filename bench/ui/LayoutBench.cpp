// Figures for the download page's layout, natively with the real archive:
//   loading "ui_panel1.lua" and creating its 23 controls cold (empty image
//   cache, a new Lua state), the first run of the process and the median of
//   further cold runs, with the script's share (compile, run, read) apart;
//   one frame of the main window with that page (background copy, desktop
//   paint, premultiply), median over many frames, against the 4 ms aim.
#include "app/SampleApp.h"
#include "bench/ui/BenchClock.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "skin/LayoutLoader.h"
#include "skin/LayoutLua.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace zdl;
using namespace zdl::bench;

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One cold load; false when the script did not load.
bool ColdLoad(double* totalMs, double* scriptMs, size_t* controls)
{
    ClearImageCache();
    CloseLayoutLuaState(layoutLuaState);
    layoutLuaState = NewLayoutLuaState();
    std::vector<uint8_t> bytes;
    Clock::time_point t0 = Clock::now();
    if (!ReadResourceFile("ui_panel1.lua", &bytes))
        return false;
    ParsedLayout parsed;
    LayoutStatus status = ReadLayoutScript(layoutLuaState, "ui_panel1.lua", bytes.data(), bytes.size(), &parsed);
    *scriptMs = Ms(Clock::now() - t0);
    if (status != LayoutStatus::kOk)
        return false;
    ClearImageCache();
    CloseLayoutLuaState(layoutLuaState);
    layoutLuaState = NewLayoutLuaState();
    CSBitmapDialog panel;
    panel.FillDefaultStyles();
    t0 = Clock::now();
    bool ok = LoadLayout("ui_panel1.lua", &panel);
    *totalMs = Ms(Clock::now() - t0);
    *controls = panel.controls.size();
    return ok;
}

} // namespace

int main()
{
    if (!LoadResourceArchive() || !ResourceArchive().Count()) {
        std::printf("layout bench: no skin archive\n");
        return 1;
    }
    double total = 0, script = 0;
    size_t controls = 0;
    if (!ColdLoad(&total, &script, &controls)) {
        std::printf("layout bench: ui_panel1.lua did not load\n");
        return 1;
    }
    std::printf("layout: ui_panel1.lua cold, first in process: %.2f ms for %zu controls (script %.2f ms)\n", total,
        controls, script);
    std::vector<double> totals, scripts;
    for (int i = 0; i < 20; ++i) {
        if (!ColdLoad(&total, &script, &controls))
            return 1;
        totals.push_back(total);
        scripts.push_back(script);
    }
    std::printf("layout: ui_panel1.lua cold, median of 20: %.2f ms (script %.2f ms); aim: well under 50 ms\n",
        Median(totals), Median(scripts));

    // The main window with the page, headless.
    TestUiPlatform ui;
    SetUiPlatform(&ui);
    CloseLayoutLuaState(layoutLuaState);
    layoutLuaState = nullptr;
    CSampleApp app;
    if (!app.InitInstance()) {
        std::printf("layout bench: the main window could not be made\n");
        return 1;
    }
    CMainWin& w = app.mainWin;
    std::vector<double> frames;
    for (int i = 0; i < 200; ++i) {
        Clock::time_point t0 = Clock::now();
        w.RenderFrame();
        PremultiplyDib(&w.canvas);
        frames.push_back(Ms(Clock::now() - t0));
    }
    size_t pageControls = w.desktop.panels.empty() ? 0 : w.desktop.panels[0]->controls.size();
    std::printf("layout: main window frame with the download page (%zu controls), median of 200: %.3f ms; "
                "aim: under 4 ms\n",
        pageControls, Median(frames));
    WsDestroyWindow(w.handle());
    SetUiPlatform(nullptr);
    return 0;
}
