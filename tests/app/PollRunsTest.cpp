// The poll runs' lifecycle on its own, against a scripted core: stamps of
// ended runs, reaping, the restart loop, and the user-interface thread never
// waiting while a run is in a core start.
#include "PageTestSupport.h"

#include "app/PollRuns.h"

#include <atomic>
#include <future>

namespace zdl {
namespace {

    using Ops = std::vector<std::string>;

    // True when |f| returns within 2 s; else the test fails (and |f| is
    // left to finish when the gate opens).
    template <typename F> bool ReturnsPromptly(std::future<F>& f)
    {
        return f.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    }

    template <typename Pred> bool Eventually(Pred done)
    {
        UiTaskQueue idle;
        return RunUiUntil(idle, done);
    }

    class PollRunsTest : public ::testing::Test {
    protected:
        // The tick: counts, remembers the last stamp, and asks for the
        // restarts queued in `restarts_` (thread counts), one per tick.
        void Make()
        {
            PollRuns::Hooks hooks;
            hooks.core = &core_;
            hooks.pollIntervalMs = 2;
            hooks.restartWaitMs = 2;
            hooks.request = [] {
                CoreStartRequest r;
                r.installDir = "C:\\Zephyra\\";
                return r;
            };
            hooks.tick = [this](uint64_t stamp, const std::function<bool()>& current) {
                tickGate_.Pass();
                std::lock_guard<std::mutex> lock(mutex_);
                ++ticks_;
                lastStamp_ = stamp;
                currentInTick_ = current();
                if (restarts_.empty())
                    return TickVerdict { TickStep::kWait, 0 };
                int threads = restarts_.front();
                restarts_.pop_front();
                return TickVerdict { TickStep::kRestart, threads };
            };
            hooks.startFailed = [this](uint64_t stamp) { failedStamp_ = stamp; };
            runs_ = std::make_unique<PollRuns>(hooks);
        }
        void SetUp() override { Make(); }
        void TearDown() override
        {
            core_.startGate.Open();
            tickGate_.Open();
            runs_.reset();
        }
        int Ticks()
        {
            std::lock_guard<std::mutex> lock(mutex_);
            return ticks_;
        }
        uint64_t LastStamp()
        {
            std::lock_guard<std::mutex> lock(mutex_);
            return lastStamp_;
        }
        void QueueRestart(int threads)
        {
            std::lock_guard<std::mutex> lock(mutex_);
            restarts_.push_back(threads);
        }
        // A run restarting the core with 7 threads is held inside the start.
        void HoldARestart()
        {
            ASSERT_EQ(PollRuns::Started::kNewRun, runs_->Start(4, "download"));
            core_.startGate.Close();
            QueueRestart(7);
            ASSERT_TRUE(core_.startGate.SomeoneHeld());
        }

        ScriptedCore core_;
        Gate tickGate_;
        std::unique_ptr<PollRuns> runs_;
        std::mutex mutex_;
        int ticks_ = 0;
        uint64_t lastStamp_ = 0;
        bool currentInTick_ = false;
        std::deque<int> restarts_;
        std::atomic<uint64_t> failedStamp_ { 0 };
    };

    TEST_F(PollRunsTest, EachStartMakesANewStampAndEndedRunsAreReaped)
    {
        EXPECT_TRUE(runs_->paused());
        EXPECT_FALSE(runs_->Running());
        ASSERT_EQ(PollRuns::Started::kNewRun, runs_->Start(4, "download"));
        ASSERT_TRUE(Eventually([&] { return Ticks() >= 2; }));
        const uint64_t first = LastStamp();
        EXPECT_TRUE(runs_->Current(first));
        EXPECT_TRUE(runs_->Running());
        // A start while a run watches restarts the core under the same run.
        EXPECT_EQ(PollRuns::Started::kKept, runs_->Start(4, "download"));
        EXPECT_TRUE(runs_->Current(first));

        runs_->Stop();
        EXPECT_TRUE(runs_->paused());
        EXPECT_FALSE(runs_->Current(first));
        EXPECT_FALSE(runs_->Running());
        ASSERT_TRUE(Eventually([&] { return runs_->LiveThreads() == 0; }));

        ASSERT_EQ(PollRuns::Started::kNewRun, runs_->Start(4, "verify"));
        ASSERT_TRUE(Eventually([&] { return LastStamp() != first; }));
        EXPECT_TRUE(runs_->Current(LastStamp()));
        EXPECT_FALSE(runs_->StampIs(first));
        EXPECT_EQ(1, runs_->LiveThreads());
        EXPECT_EQ((Ops { "start 4", "start 4", "stop", "start 4" }), core_.Ops());
        std::lock_guard<std::mutex> lock(core_.mutex);
        EXPECT_EQ("verify", core_.requests[2].mode);
        EXPECT_EQ("C:\\Zephyra\\", core_.requests[2].installDir);
    }

    TEST_F(PollRunsTest, AFailedStartStartsNoRun)
    {
        core_.startResult = false;
        EXPECT_EQ(PollRuns::Started::kFailed, runs_->Start(4, "download"));
        EXPECT_EQ(0, runs_->LiveThreads());
        EXPECT_TRUE(runs_->paused());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(0, Ticks());
    }

    TEST_F(PollRunsTest, RestartStopsWaitsAndRetriesUntilTheCoreStarts)
    {
        core_.startResults = { true, false, false, true };
        ASSERT_EQ(PollRuns::Started::kNewRun, runs_->Start(4, "download"));
        QueueRestart(7);
        ASSERT_TRUE(Eventually([&] { return core_.Starts() == 4; }));
        const int ticks = Ticks();
        ASSERT_TRUE(Eventually([&] { return Ticks() > ticks + 1; })); // the same run goes on
        EXPECT_EQ(1, runs_->LiveThreads());
        EXPECT_EQ((Ops { "start 4", "stop", "start 7 failed", "start 7 failed", "start 7" }), core_.Ops());
    }

    TEST_F(PollRunsTest, StopDuringARestartReturnsAtOnceAndTheCoreStopsAfterItsStart)
    {
        HoldARestart();
        auto stop = std::async(std::launch::async, [&] { runs_->Stop(); });
        EXPECT_TRUE(ReturnsPromptly(stop)) << "the stop waited for the core's start";
        EXPECT_TRUE(runs_->paused());
        EXPECT_EQ((Ops { "start 4", "stop" }), core_.Ops()); // the held start is not recorded yet
        core_.startGate.Open();
        stop.wait();
        ASSERT_TRUE(Eventually([&] { return runs_->LiveThreads() == 0; }));
        EXPECT_EQ((Ops { "start 4", "stop", "start 7", "stop" }), core_.Ops());
        const int ticks = Ticks();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(ticks, Ticks());
    }

    TEST_F(PollRunsTest, StartDuringARestartIsMadeByTheNewRunOnceTheCoreIsFree)
    {
        HoldARestart();
        runs_->Stop();
        auto start = std::async(std::launch::async, [&] { return runs_->Start(4, "download"); });
        ASSERT_TRUE(ReturnsPromptly(start)) << "the start waited for the core's start";
        EXPECT_EQ(PollRuns::Started::kNewRun, start.get());
        EXPECT_TRUE(runs_->Running());
        core_.startGate.Open();
        ASSERT_TRUE(Eventually([&] { return core_.Ops().size() == 5; }));
        // The old run's start, the stop handed to it, then the new run's start.
        EXPECT_EQ((Ops { "start 4", "stop", "start 7", "stop", "start 4" }), core_.Ops());
        ASSERT_TRUE(Eventually([&] { return runs_->Current(LastStamp()); }));
        EXPECT_EQ(0u, failedStamp_.load());
    }

    TEST_F(PollRunsTest, AHandedStartThatFailsEndsItsRunAndSaysSo)
    {
        core_.startResults = { true, true, false };
        HoldARestart();
        runs_->Stop();
        ASSERT_EQ(PollRuns::Started::kNewRun, runs_->Start(4, "download"));
        const int ticks = Ticks();
        core_.startGate.Open();
        ASSERT_TRUE(Eventually([&] { return failedStamp_ != 0; }));
        EXPECT_TRUE(runs_->StampIs(failedStamp_));
        EXPECT_TRUE(runs_->paused());
        ASSERT_TRUE(Eventually([&] { return runs_->LiveThreads() == 0; }));
        EXPECT_EQ(ticks, Ticks());
        EXPECT_EQ((Ops { "start 4", "stop", "start 7", "stop", "start 4 failed" }), core_.Ops());
    }

    TEST_F(PollRunsTest, ShutdownLeavesARunHeldInItsTickToEndAlone)
    {
        ASSERT_EQ(PollRuns::Started::kNewRun, runs_->Start(4, "download"));
        ASSERT_TRUE(Eventually([&] { return Ticks() >= 1; }));
        tickGate_.Close(); // a message box the player leaves open
        ASSERT_TRUE(tickGate_.SomeoneHeld());
        const int ticks = Ticks();
        auto begun = std::chrono::steady_clock::now();
        runs_->Shutdown(50);
        EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(2));
        EXPECT_EQ((Ops { "start 4", "stop" }), core_.Ops());
        EXPECT_EQ(PollRuns::Started::kFailed, runs_->Start(4, "download")); // shut down for good
        tickGate_.Open();
        ASSERT_TRUE(Eventually([&] { return Ticks() == ticks + 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(ticks + 1, Ticks()); // the box closed; the run saw it had ended
        std::lock_guard<std::mutex> lock(mutex_);
        EXPECT_FALSE(currentInTick_);
    }

} // namespace
} // namespace zdl
