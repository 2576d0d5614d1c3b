// The download without a window: what the download page's poll thread does,
// with a terminal line instead of controls. It starts the core as the page
// does, polls it once a second, shows phase, percent, size, speed and time
// left, restarts the core when it quits by itself or stalls (fewer HTTP
// threads after a stall), and on an interrupt tells the core to quit.
//
// Runs on the calling thread. Owns its core session; output goes to a sink
// as UTF-8 text.
#pragma once

#include "app/DownloadProgress.h"
#include "core_client/CoreSession.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zdl {

struct HeadlessOptions {
    std::string installDir; // gets a trailing separator if missing
    float maxDownloadSpeed = -1; // KB/s, <= 0 unlimited
    float maxUploadSpeed = -1;
    std::string sourceUrl; // empty: the executable's string 150
    std::string tempFolder; // empty: the system's
    std::string coreProgramFile; // empty: the executable's resource 137
    StallTimings timings;
    uint32_t pollIntervalMs = 1000;
    uint32_t restartDelayMs = 1000;
    uint32_t maxSeconds = 0; // 0: no limit
    bool lineMode = false; // one line per tick instead of a refreshing line
    bool share = true; // false: the core shares no pieces with the local network
    std::string coreLogFile; // the core's own output goes here; empty: ours
};

enum HeadlessExit : int {
    kHeadlessCompleted = 0,
    kHeadlessUsage = 1,
    kHeadlessStartFailed = 2, // no core program or no source address
    kHeadlessLaunchFailed = 3, // the core process could not be created
    kHeadlessTimeLimit = 4,
    kHeadlessInterrupted = 130,
};

class HeadlessDownloader {
public:
    using Output = std::function<void(const std::string& utf8, bool terminalRefresh)>;
    using StopCheck = std::function<bool()>;

    HeadlessDownloader(HeadlessOptions options, Output output, StopCheck stopRequested);
    ~HeadlessDownloader();

    // Runs the download to its end; returns a HeadlessExit code.
    int Run();

    // Parses "zdl-headless <install folder> [options]"; false with |error|.
    static bool ParseArguments(int argc, char** argv, HeadlessOptions* options, std::string* error);
    static const char* Usage();

    // The terminal line for a tick (UTF-8): bar, percent, status and info.
    static std::string RenderLine(int percent, const CoreStatus& status, const TickOutcome& outcome, bool ascii);

private:
    bool Start(int httpThreads);
    bool Restart(int httpThreads);
    bool SleepUnlessStopped(uint32_t ms);
    void Print(const std::string& gbkOrAscii);

    HeadlessOptions options_;
    Output output_;
    StopCheck stopRequested_;
    std::string programBytes_; // the core program when taken from a file
    bool launchFailed_ = false;
    OsHandle coreLog_ = kNoOsHandle; // owned
    std::unique_ptr<CoreSession> session_;
    DownloadProgress progress_;
    int percent_ = -1;
};

} // namespace zdl
