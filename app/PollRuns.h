// PollRuns: the download page's poll runs, the threads that watch a
// download core. A start starts the core and a run (one thread) that calls
// the page's tick once per interval; a tick may ask for the core to be
// restarted, which the run does itself (stop, wait, start until a start
// succeeds). A stop ends the run and stops the core. Runs that ended are
// reaped (joined) at the next start or at shutdown.
//
// Stamps. Each run carries a stamp; ending a run (stop, a new start,
// shutdown) changes the current stamp, so whoever holds an old stamp (a
// tick still at work, a change it posted) can tell it is stale: Current()
// is false for it.
//
// Threads. Start, Stop, Shutdown and the queries run on the user-interface
// thread, which never waits for a core operation another thread is in: a
// stop asked while a run restarts the core is handed to that run (it stops
// the core as soon as its start returns), and a start asked then is made by
// the new run itself once the core is free. Core operations never overlap.
// The state the threads share lives in a block the runs hold, so a run
// still in its tick (a message box) when the owner goes ends by itself.
#pragma once

#include "app/PageCore.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>

namespace zdl {

// What a tick tells its run to do next.
enum class TickStep {
    kWait, // the next tick after the poll interval
    kNow, // the next tick at once
    kEnd, // the run ends (the download is complete)
    kRestart, // stop the core, wait, start it again with `restartThreads`
};

struct TickVerdict {
    TickStep step = TickStep::kWait;
    int restartThreads = 0;
};

class PollRuns {
public:
    // Called on the run's thread with the run's stamp; |current| tells
    // whether the run still goes on (a tick that waited checks it again).
    using Tick = std::function<TickVerdict(uint64_t stamp, const std::function<bool()>& current)>;
    // The core to start now (the newest install folder and limits); any thread.
    using Request = std::function<CoreStartRequest()>;
    // A start made by a run itself (see above) failed; its run has ended.
    using StartFailed = std::function<void(uint64_t stamp)>;

    struct Hooks {
        PageCore* core = nullptr; // not owned; must outlive every run
        uint32_t pollIntervalMs = 1000;
        uint32_t restartWaitMs = 1000;
        Tick tick;
        Request request;
        StartFailed startFailed;
    };

    enum class Started {
        kFailed, // the core could not be provided; nothing started
        kNewRun, // a core and a run watching it (an earlier run is ended first)
        kKept, // a run was watching; it goes on watching the restarted core
    };

    explicit PollRuns(Hooks hooks);
    ~PollRuns(); // Shutdown()
    PollRuns(const PollRuns&) = delete;
    PollRuns& operator=(const PollRuns&) = delete;

    // Starts the core with Request() and |httpThreads| and |mode|.
    Started Start(int httpThreads, const char* mode);
    // Ends the run and stops the core: paused from now on.
    void Stop();
    // Ends every run (stopping the core if one is watched) and waits at most
    // |waitMs| for their threads; those still busy are left to end alone.
    void Shutdown(uint32_t waitMs);

    bool paused() const;
    // Whether |stamp| is the current one and not paused: its run goes on.
    bool Current(uint64_t stamp) const;
    // Whether |stamp| is the current one (paused or not).
    bool StampIs(uint64_t stamp) const;
    // Whether the newest run is alive and current.
    bool Running();
    // Threads not yet ended (the current one and any still finishing).
    int LiveThreads();

private:
    struct Shared;
    struct Run;

    static void RunMain(std::shared_ptr<Shared> shared, std::shared_ptr<Run> run);
    std::shared_ptr<Run> Launch(uint64_t stamp, bool startsCore, int httpThreads, const char* mode);
    void Reap(uint32_t waitMs);

    std::shared_ptr<Shared> shared_;
    std::list<std::shared_ptr<Run>> runs_; // the newest last; shared with its thread
    bool shutDown_ = false;
};

} // namespace zdl
