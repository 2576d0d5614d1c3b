// Figures for the download page's tick: the poll thread's work per tick
// (status taken from a core that answers at once, averages, time left, size
// and speed texts, the change posted to the user-interface queue) and the
// user-interface thread's work to show it (two lines, the percent display),
// with the poll interval at 0 so ticks run back to back for a second.
#include "app/DownloadPage.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace zdl;
using Clock = std::chrono::steady_clock;

namespace {

class InstantCore : public PageCore {
public:
    bool Start(const CoreStartRequest&) override { return true; }
    void Stop() override { }
    void Poll(CoreStatus& status) override
    {
        ++polls;
        status.p2pState = kStateDownloading;
        status.totalByte = 3ull << 30;
        status.incompleteByte = (3ull << 30) - (polls % 1000) * (3ull << 20);
        status.percentage = static_cast<float>(polls % 1000) / 10.0f;
        status.downloadBandWidth = 2048.0f + static_cast<float>(polls % 7);
    }
    std::atomic<long> polls { 0 };
};

class NullView : public PageView {
public:
    void ShowButton(PageButton, bool) override { }
    bool IsButtonVisible(PageButton) override { return false; }
    void SetStatusLine(const std::string& text) override { status = text; }
    void SetInfoLine(const std::string& text) override { info = text; }
    bool SetFolderText(const std::string&) override { return true; }
    bool IsAcceptChecked() override { return true; }
    void ShowPercentPart(PercentPart, bool) override { }
    void SetDigitImage(PercentPart, int digit) override { lastDigit = digit; }
    void SetProgressValue(int value) override { progress = value; }
    void ShowProgressHead(bool) override { }
    void MoveProgressHead(int, int) override { }
    void ShowBanner(bool) override { }
    std::string status, info;
    int lastDigit = 0, progress = 0;
};

} // namespace

int main()
{
    InstantCore core;
    NullView view;
    UiTaskQueue queue;
    PageEnvironment env;
    env.core = &core;
    env.queue = &queue;
    env.defaultInstallDir = "C:\\Zephyra\\";
    env.pollIntervalMs = 0;
    DownloadPage page(&view, env);
    if (page.StartDownloadCore(4, "download") != 1) {
        std::printf("bench_page: the page did not start\n");
        return 1;
    }
    auto start = Clock::now();
    double uiSeconds = 0;
    size_t shown = 0;
    while (Clock::now() - start < std::chrono::seconds(1)) {
        auto t0 = Clock::now();
        shown += queue.RunPending();
        uiSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    page.StopDownload();
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    long polls = core.polls.load();
    std::printf("page tick, back to back for %.1f s: %ld ticks, %.2f us per tick on the poll thread (whole)\n", wall,
        polls, wall * 1e6 / static_cast<double>(polls));
    std::printf("  shown on the user-interface thread: %zu ticks, %.2f us each\n", shown,
        shown ? uiSeconds * 1e6 / static_cast<double>(shown) : 0.0);
    return 0;
}
