#include "app/PollRuns.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace zdl {

namespace {

    // How long a start waits for the run it replaces to end before going on
    // without it (it is joined later).
    constexpr uint32_t kReplaceWaitMs = 500;

} // namespace

struct PollRuns::Shared {
    explicit Shared(Hooks h)
        : hooks(std::move(h))
    {
    }

    Hooks hooks;
    // Changed under `lock`, read anywhere.
    std::atomic<bool> paused { true };
    std::atomic<uint64_t> stamp { 0 };

    std::mutex lock;
    std::condition_variable changed; // a run ended, a stamp changed, the core is free
    bool busy = false; // some thread is in a core start or stop
    bool stopOwed = false; // a stop asked while busy; the busy thread makes it

    bool Current(uint64_t runStamp) const { return !paused && stamp == runStamp; }

    // Sleeps |ms|, or less once the run has ended.
    void Wait(uint64_t runStamp, uint32_t ms)
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait_for(hold, std::chrono::milliseconds(ms), [&] { return !Current(runStamp); });
    }
    void Wake()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
        }
        changed.notify_all();
    }

    // A run's claim on the core: waits until no other thread is in a core
    // operation; false (nothing claimed) once the run has ended.
    bool Claim(uint64_t runStamp)
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return !busy || !Current(runStamp); });
        if (!Current(runStamp))
            return false;
        busy = true;
        return true;
    }
    // Ends a core operation, first making every stop asked meanwhile.
    void Release()
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> hold(lock);
                if (!stopOwed) {
                    busy = false;
                    break;
                }
                stopOwed = false;
            }
            hooks.core->Stop();
        }
        changed.notify_all();
    }
};

struct PollRuns::Run {
    uint64_t stamp = 0;
    std::thread thread;
    bool done = false; // under Shared::lock
    // A start handed to the run (the core was busy when it was asked).
    bool startsCore = false;
    int httpThreads = 0;
    std::string mode;
};

PollRuns::PollRuns(Hooks hooks)
    : shared_(std::make_shared<Shared>(std::move(hooks)))
{
}

PollRuns::~PollRuns()
{
    Shutdown(2000);
}

bool PollRuns::paused() const
{
    return shared_->paused;
}

bool PollRuns::Current(uint64_t stamp) const
{
    return shared_->Current(stamp);
}

bool PollRuns::StampIs(uint64_t stamp) const
{
    return shared_->stamp == stamp;
}

bool PollRuns::Running()
{
    if (runs_.empty())
        return false;
    Run* run = runs_.back().get();
    std::lock_guard<std::mutex> hold(shared_->lock);
    return !run->done && shared_->Current(run->stamp);
}

int PollRuns::LiveThreads()
{
    std::lock_guard<std::mutex> hold(shared_->lock);
    int live = 0;
    for (auto& run : runs_)
        live += !run->done;
    return live;
}

PollRuns::Started PollRuns::Start(int httpThreads, const char* mode)
{
    Shared& s = *shared_;
    if (!s.hooks.core || shutDown_)
        return Started::kFailed;
    const bool keep = Running();
    const char* const startMode = mode ? mode : "download";
    uint64_t stamp = 0;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (s.busy) {
            // A run is restarting the core or making a stop handed to it.
            // A watching run restarts the core anyway; otherwise the new run
            // starts it once the core is free, so this thread never waits.
            if (keep)
                return Started::kKept;
            stamp = ++s.stamp;
            s.paused = false;
        } else {
            s.busy = true;
        }
    }
    if (stamp != 0) {
        s.changed.notify_all();
        Reap(0); // the run in the core operation is joined later

        Launch(stamp, true, httpThreads, startMode);
        return Started::kNewRun;
    }
    CoreStartRequest request = s.hooks.request ? s.hooks.request() : CoreStartRequest();
    request.httpThreads = httpThreads;
    request.mode = startMode;
    const bool started = s.hooks.core->Start(request);
    if (started && !keep) {
        // Changed before the core is free, so a run waiting for it sees
        // that it has ended, and a pause made after this start is never
        // erased by the new run.
        std::lock_guard<std::mutex> hold(s.lock);
        stamp = ++s.stamp;
        s.paused = false;
    }
    s.Release();
    if (!started)
        return Started::kFailed;
    if (keep)
        return Started::kKept;
    Reap(kReplaceWaitMs);
    Launch(stamp, false, 0, startMode);
    return Started::kNewRun;
}

std::shared_ptr<PollRuns::Run> PollRuns::Launch(uint64_t stamp, bool startsCore, int httpThreads, const char* mode)
{
    auto run = std::make_shared<Run>();
    run->stamp = stamp;
    run->startsCore = startsCore;
    run->httpThreads = httpThreads;
    run->mode = mode;
    runs_.push_back(run);
    run->thread = std::thread(RunMain, shared_, run);
    return run;
}

void PollRuns::Stop()
{
    Shared& s = *shared_;
    bool stopHere = false;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.paused = true;
        ++s.stamp;
        if (!s.hooks.core) {
        } else if (s.busy) {
            s.stopOwed = true; // the busy thread stops the core when it is done
        } else {
            s.busy = true;
            stopHere = true;
        }
    }
    s.changed.notify_all();
    if (stopHere) {
        s.hooks.core->Stop();
        s.Release();
    }
}

void PollRuns::Reap(uint32_t waitMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (auto it = runs_.begin(); it != runs_.end();) {
        Run* run = it->get();
        if (shared_->Current(run->stamp)) {
            ++it;
            continue;
        }
        bool done;
        {
            std::unique_lock<std::mutex> hold(shared_->lock);
            done = shared_->changed.wait_until(hold, deadline, [&] { return run->done; });
        }
        if (!done) {
            ++it;
            continue;
        }
        run->thread.join();
        it = runs_.erase(it);
    }
}

void PollRuns::Shutdown(uint32_t waitMs)
{
    if (shutDown_)
        return;
    if (Running()) {
        Stop();
    } else {
        // No core is watched any more; still end every run.
        {
            std::lock_guard<std::mutex> hold(shared_->lock);
            ++shared_->stamp;
            shared_->paused = true;
        }
        shared_->changed.notify_all();
    }
    shutDown_ = true;
    Reap(waitMs);
    // A run still in its tick ends by itself; it holds only the shared block.
    for (auto& run : runs_)
        run->thread.detach();
    runs_.clear();
}

void PollRuns::RunMain(std::shared_ptr<Shared> shared, std::shared_ptr<Run> run)
{
    Shared& s = *shared;
    const uint64_t stamp = run->stamp;
    auto restart = [&](int httpThreads) {
        if (s.Claim(stamp)) {
            s.hooks.core->Stop();
            s.Release();
        }
        s.Wait(stamp, s.hooks.restartWaitMs);
        while (s.Claim(stamp)) {
            CoreStartRequest request = s.hooks.request ? s.hooks.request() : CoreStartRequest();
            request.httpThreads = httpThreads;
            const bool started = s.hooks.core->Start(request);
            s.Release();
            if (started)
                return;
            s.Wait(stamp, s.hooks.restartWaitMs);
        }
    };
    if (run->startsCore && s.Claim(stamp)) {
        CoreStartRequest request = s.hooks.request ? s.hooks.request() : CoreStartRequest();
        request.httpThreads = run->httpThreads;
        request.mode = run->mode;
        const bool started = s.hooks.core->Start(request);
        bool failed = false;
        if (!started) {
            std::lock_guard<std::mutex> hold(s.lock);
            failed = s.Current(stamp);
            if (failed)
                s.paused = true; // nothing runs: the next start starts afresh
        }
        s.Release();
        if (failed && s.hooks.startFailed)
            s.hooks.startFailed(stamp);
    }
    const std::function<bool()> current = [&s, stamp] { return s.Current(stamp); };
    while (s.Current(stamp)) {
        const TickVerdict verdict = s.hooks.tick ? s.hooks.tick(stamp, current) : TickVerdict();
        if (verdict.step == TickStep::kEnd)
            break;
        if (verdict.step == TickStep::kRestart)
            restart(verdict.restartThreads);
        if (verdict.step != TickStep::kNow)
            s.Wait(stamp, s.hooks.pollIntervalMs);
    }
    {
        std::lock_guard<std::mutex> hold(s.lock);
        run->done = true;
    }
    s.changed.notify_all();
}

} // namespace zdl
