// The download page's handlers, state table, poll runs and percent display
// against a recording view and a scripted core.
#include "PageTestSupport.h"

#include <atomic>
#include <cmath>
#include <filesystem>
#include <future>

namespace zdl {
namespace {

    const char kDefaultDir[] = "D:\\Program Files\\Orvane\\Zephyra\\";

    CoreStatus Downloading(float percent)
    {
        CoreStatus s;
        s.p2pState = kStateDownloading;
        s.percentage = percent;
        s.totalByte = 1u << 30;
        s.incompleteByte = 1u << 29;
        s.downloadBandWidth = 800;
        return s;
    }

    class DownloadPageTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            env_.core = &core_;
            env_.queue = &queue_;
            env_.owner = reinterpret_cast<NativeWindow>(0x77);
            env_.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "none.ini").string();
            env_.defaultInstallDir = kDefaultDir;
            env_.pollIntervalMs = 5;
            env_.restartWaitMs = 5;
            env_.writeVersionRecord = [this](const std::string& dir) {
                std::lock_guard<std::mutex> lock(core_.mutex);
                versionRecords_.push_back(dir);
                return versionRecordWritable_;
            };
            env_.closeMainWindow = [this] { ++closes_; };
            page_ = std::make_unique<DownloadPage>(&view_, env_);
        }
        void TearDown() override { page_.reset(); }

        // Starts a download and waits until the page has shown a tick.
        void StartAndWatch(float percent)
        {
            core_.SetStatus(Downloading(percent));
            page_->OnStart();
            ASSERT_EQ(static_cast<int>(PageButton::kStop), view_.State());
            ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.progress == static_cast<int>(percent); }));
        }
        size_t VersionRecords()
        {
            std::lock_guard<std::mutex> lock(core_.mutex);
            return versionRecords_.size();
        }

        PlatformScript script_;
        UiTaskQueue queue_;
        ScriptedCore core_;
        RecordingView view_;
        PageEnvironment env_;
        std::unique_ptr<DownloadPage> page_;
        std::vector<std::string> versionRecords_;
        bool versionRecordWritable_ = true;
        int closes_ = 0;
    };

    TEST_F(DownloadPageTest, FolderChoicesFormTheZephyraSubfolderAndTheCurrentOneAsksNothing)
    {
        script_.Choose("D:\\Program Files\\Orvane"); // already the install folder
        page_->ChooseInstallFolder();
        EXPECT_EQ(kDefaultDir, page_->installDir());
        EXPECT_TRUE(script_.Boxes().empty());
        ASSERT_EQ(1u, script_.Browses().size());
        EXPECT_EQ(env_.owner, script_.Browses()[0].owner);
        EXPECT_EQ(kDefaultDir, script_.Browses()[0].initialFolder);
        EXPECT_EQ(kInstallFolderBrowseFlags, script_.Browses()[0].flags);

        script_.Choose("C:\\");
        page_->ChooseInstallFolder();
        EXPECT_EQ("C:\\Zephyra\\", page_->installDir());
        EXPECT_EQ("C:\\Zephyra\\", view_.folder);

        script_.Choose("D:\\Games");
        page_->ChooseInstallFolder();
        EXPECT_EQ("D:\\Games\\Zephyra\\", page_->installDir());
        // A double-byte character whose second byte is 0x5C is not a backslash.
        script_.Choose("E:\\\xd3\x5c");
        page_->ChooseInstallFolder();
        EXPECT_EQ("E:\\\xd3\x5c\\Zephyra\\", page_->installDir());
        EXPECT_TRUE(script_.Boxes().empty());
        EXPECT_EQ(0, core_.Starts());
    }

    TEST_F(DownloadPageTest, TooLongFolderIsRefusedBeforeAskingAndTheDownloadGoesOn)
    {
        StartAndWatch(30);
        // "X:\" + 115 bytes + "\Zephyra\" = 127 bytes.
        const std::string base = "X:\\" + std::string(115, 'a');
        ASSERT_EQ(127u, WithTrailingBackslash(base).size() + 8);
        script_.Choose(base);
        page_->ChooseInstallFolder();
        ASSERT_EQ(1u, script_.Boxes().size());
        EXPECT_EQ(kTextFolderTooLong, script_.Boxes()[0].text);
        EXPECT_EQ(kPageTitle, script_.Boxes()[0].caption);
        EXPECT_EQ(0, core_.Stops());
        EXPECT_EQ(kDefaultDir, page_->installDir());
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());
        int polls = core_.Polls();
        EXPECT_TRUE(RunUiUntil(queue_, [&] { return core_.Polls() > polls + 2; }));

        // One byte less fits: the player is asked, the core stopped, the page Ready.
        script_.Choose(base.substr(0, base.size() - 1));
        page_->ChooseInstallFolder();
        ASSERT_EQ(2u, script_.Boxes().size());
        EXPECT_EQ(kTextConfirmNewFolder, script_.Boxes()[1].text);
        EXPECT_EQ(1, core_.Stops());
        EXPECT_EQ(126u, page_->installDir().size());
        EXPECT_EQ(static_cast<int>(PageButton::kInstall), view_.State());
    }

    TEST_F(DownloadPageTest, StartWithoutAcceptanceRemindsAndStartsNothing)
    {
        view_.accept = false;
        page_->OnStart();
        ASSERT_EQ(1u, script_.Boxes().size());
        EXPECT_EQ(kTextAcceptFirst, script_.Boxes()[0].text);
        EXPECT_EQ(static_cast<unsigned>(MB_OK), script_.Boxes()[0].flags);
        EXPECT_EQ(0, core_.Starts());
        EXPECT_EQ(static_cast<int>(PageButton::kInstall), view_.State());
    }

    TEST_F(DownloadPageTest, FailedStartKeepsTheButtonsAndSaysSo)
    {
        core_.startResult = false;
        page_->OnStart();
        EXPECT_EQ(kTextInstallFailed, view_.status);
        EXPECT_EQ(static_cast<int>(PageButton::kInstall), view_.State());
        EXPECT_EQ(0, page_->LivePollThreads());
    }

    TEST_F(DownloadPageTest, CompletionWritesTheRecordShowsFinishAndExitAsksNothing)
    {
        StartAndWatch(50);
        CoreStatus done;
        done.p2pState = kStateDownloadCompleted;
        done.fileName = "zpc.exe";
        {
            std::lock_guard<std::mutex> lock(core_.mutex);
            versionRecordWritable_ = false; // not installed until the record is written
        }
        core_.SetStatus(done);
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return VersionRecords() >= 2; }));
        EXPECT_FALSE(page_->completed());
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());
        {
            std::lock_guard<std::mutex> lock(core_.mutex);
            versionRecordWritable_ = true;
        }
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return page_->completed(); }));
        EXPECT_EQ(static_cast<int>(PageButton::kFinish), view_.State());
        EXPECT_EQ(kTextDownloadDone, view_.status);
        EXPECT_EQ(100, view_.progress);
        EXPECT_TRUE(view_.parts[PercentPart::kHundreds]);
        EXPECT_EQ(kDefaultDir, versionRecords_[0]);
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return page_->LivePollThreads() == 0; }));

        page_->OnExit();
        EXPECT_EQ(1, closes_);
        EXPECT_TRUE(script_.Boxes().empty());
    }

    // A file the server does not serve, reported by the core: the status line
    // tells it once it has lasted 10 s on the page's clock, and the first
    // poll without it brings the time left back.
    TEST_F(DownloadPageTest, LastingServerTroubleIsToldOnTheStatusLineUntilItClears)
    {
        std::atomic<uint32_t> clock { 1000 };
        page_.reset();
        env_.now = [&clock] { return clock.load(); };
        page_ = std::make_unique<DownloadPage>(&view_, env_);
        StartAndWatch(30);
        const std::string minutesFormat = kTimeMinutes;
        const std::string timeLeft = minutesFormat.substr(0, minutesFormat.find('%')); // "预计还需 "
        ASSERT_EQ(0u, view_.status.rfind(timeLeft, 0));

        CoreStatus missing = Downloading(30);
        missing.errorKind = kErrorDownloadSeed;
        missing.errorCode = 404;
        core_.SetStatus(missing);
        int polls = core_.Polls();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return core_.Polls() > polls + 2; })); // seen at 1000
        clock = 1000 + 9999; // shorter than the grace period
        polls = core_.Polls();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return core_.Polls() > polls + 2; }));
        EXPECT_EQ(0u, view_.status.rfind(timeLeft, 0)) << "the time left";

        clock = 1000 + 10000;
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.status == kTextServerFilesMissing; }));
        EXPECT_NE("", view_.info) << "size and speed stay";
        EXPECT_TRUE(script_.Boxes().empty());
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());

        core_.SetStatus(Downloading(30));
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.status != kTextServerFilesMissing; }));
        EXPECT_EQ(0u, view_.status.rfind(timeLeft, 0)) << "the time left";
        EXPECT_EQ(0, core_.Stops());
    }

    // A link or junction the core refuses inside the install folder lasts
    // until the player removes it: told at once, naming it, in any phase,
    // and the phase's own text is back once the error clears.
    TEST_F(DownloadPageTest, RefusedLinkIsToldAtOnceNamingTheEntry)
    {
        StartAndWatch(30);
        CoreStatus link;
        link.p2pState = kStateCreateFile;
        link.errorKind = kErrorOpenFile;
        link.errorCode = kCodeLinkRefused;
        link.errorFile = "zpc.exe";
        core_.SetStatus(link);
        // "安装目录中的“zpc.exe”是链接或联接点，不会写入，请删除它后重试" in GBK
        const std::string told = "\xb0\xb2\xd7\xb0\xc4\xbf\xc2\xbc\xd6\xd0\xb5\xc4\xa1\xb0zpc.exe\xa1\xb1\xca\xc7"
                                 "\xc1\xb4\xbd\xd3\xbb\xf2\xc1\xaa\xbd\xd3\xb5\xe3\xa3\xac\xb2\xbb\xbb\xe1\xd0\xb4"
                                 "\xc8\xeb\xa3\xac\xc7\xeb\xc9\xbe\xb3\xfd\xcb\xfc\xba\xf3\xd6\xd8\xca\xd4";
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.status == told; }));
        EXPECT_TRUE(script_.Boxes().empty());

        link.errorCode = 13; // an OpenFile of another cause keeps the phase's text
        core_.SetStatus(link);
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.status == kTextStateCreateFile; }));
        EXPECT_EQ(0, core_.Stops());
    }

    TEST_F(DownloadPageTest, CompletionWithoutFileNameShowsDoneAndKeepsPolling)
    {
        page_->OnStart();
        CoreStatus done;
        done.p2pState = kStateDownloadCompleted;
        core_.SetStatus(done);
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.progress == 100; }));
        EXPECT_EQ(kTextDownloadDone, view_.status);
        EXPECT_TRUE(view_.parts[PercentPart::kHundreds]);
        EXPECT_FALSE(view_.headShown);
        int polls = core_.Polls();
        EXPECT_TRUE(RunUiUntil(queue_, [&] { return core_.Polls() > polls + 2; }));
        EXPECT_FALSE(page_->completed());
        EXPECT_EQ(0u, VersionRecords());
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());
    }

    TEST_F(DownloadPageTest, UncheckingWhileReadyOrPausedDoesNothingButStopsADownload)
    {
        view_.accept = false;
        page_->OnAcceptanceChanged();
        EXPECT_EQ(0, core_.Stops());
        EXPECT_EQ(static_cast<int>(PageButton::kInstall), view_.State());

        view_.accept = true;
        StartAndWatch(40);
        page_->OnPause();
        EXPECT_EQ(kTextPaused, view_.status);
        EXPECT_EQ(static_cast<int>(PageButton::kContinue), view_.State());
        EXPECT_EQ(1, core_.Stops());
        view_.accept = false;
        page_->OnAcceptanceChanged();
        EXPECT_EQ(1, core_.Stops());
        EXPECT_EQ(kTextPaused, view_.status);

        view_.accept = true;
        page_->OnStart();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.progress == 40; }));
        view_.accept = false;
        page_->OnAcceptanceChanged();
        EXPECT_EQ(2, core_.Stops());
        EXPECT_EQ(static_cast<int>(PageButton::kContinue), view_.State());
        EXPECT_EQ(0, view_.progress);
        EXPECT_FALSE(view_.parts[PercentPart::kOnes]);
    }

    TEST_F(DownloadPageTest, PauseAnsweredNoChangesNothing)
    {
        StartAndWatch(10);
        script_.Answer(IDNO);
        page_->OnPause();
        EXPECT_EQ(0, core_.Stops());
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());
    }

    TEST_F(DownloadPageTest, ContinueRightAfterPauseLeavesOnePollThreadWatching)
    {
        StartAndWatch(20);
        page_->OnPause();
        page_->OnStart();
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());
        EXPECT_NE(kTextInstallFailed, view_.status);
        EXPECT_EQ(2, core_.Starts());
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return page_->LivePollThreads() == 1; }));
        EXPECT_TRUE(page_->PollRunning());
        core_.SetStatus(Downloading(25));
        EXPECT_TRUE(RunUiUntil(queue_, [&] { return view_.progress == 25; }));
    }

    TEST_F(DownloadPageTest, ChangesOfAnEndedRunAreDropped)
    {
        StartAndWatch(50);
        // Wait until a tick is queued but not shown, then change the folder.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (queue_.Pending() == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GT(queue_.Pending(), 0u);
        script_.Choose("C:\\");
        page_->ChooseInstallFolder();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return page_->LivePollThreads() == 0; }));
        queue_.RunPending();
        EXPECT_EQ(0, view_.progress);
        EXPECT_FALSE(view_.parts[PercentPart::kOnes]);
        EXPECT_EQ("", view_.status);
        EXPECT_EQ(static_cast<int>(PageButton::kInstall), view_.State());
    }

    TEST_F(DownloadPageTest, DiskFullBoxOncePerEpisode)
    {
        CoreStatus full = Downloading(60);
        full.errorKind = kErrorDiskFull;
        core_.SetStatus(full);
        page_->OnStart();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return core_.Polls() > 4 && view_.status == kTextDiskFull; }));
        auto boxes = script_.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(kTitleWarning, boxes[0].caption);
        core_.SetStatus(Downloading(61));
        int polls = core_.Polls();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return core_.Polls() > polls + 1; }));
        core_.SetStatus(full);
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return script_.Boxes().size() == 2; }));
    }

    TEST_F(DownloadPageTest, DiskFullBoxShowsItsTickWhileOpenAndTheNewestStatusOnceClosed)
    {
        // Ticks a minute apart: only a tick right after the box shows the
        // newest status within the test's bound.
        Gate box;
        std::atomic<int> boxes { 0 };
        env_.pollIntervalMs = 60000;
        env_.showMessageBox = [&](NativeWindow, const char* text, const char*, unsigned) {
            if (std::string(text) == kTextDiskFull) {
                ++boxes;
                box.Pass();
            }
            return IDOK;
        };
        page_ = std::make_unique<DownloadPage>(&view_, env_);
        CoreStatus full = Downloading(60);
        full.errorKind = kErrorDiskFull;
        core_.SetStatus(full);
        box.Close(); // the player leaves the box open
        page_->OnStart();
        ASSERT_TRUE(box.SomeoneHeld());
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.status == kTextDiskFull; }));
        EXPECT_EQ(60, view_.progress);
        core_.SetStatus(Downloading(61)); // space was freed meanwhile
        box.Open();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.progress == 61; }));
        EXPECT_NE(kTextDiskFull, view_.status);
        EXPECT_EQ(1, boxes.load());
    }

    TEST_F(DownloadPageTest, PauseWhileARestartStartsTheCoreDoesNotWaitForIt)
    {
        StartAndWatch(70);
        core_.startGate.Close(); // the restart's start takes long (writing the core out)
        CoreStatus quit;
        quit.p2pState = kStateQuit;
        core_.SetStatus(quit);
        ASSERT_TRUE(core_.startGate.SomeoneHeld());
        auto pause = std::async(std::launch::async, [&] { page_->OnPause(); });
        const bool prompt = pause.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        core_.startGate.Open();
        pause.wait();
        EXPECT_TRUE(prompt) << "the pause waited for the core's start";
        EXPECT_EQ(kTextPaused, view_.status);
        EXPECT_EQ(static_cast<int>(PageButton::kContinue), view_.State());
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return page_->LivePollThreads() == 0; }));
        // The core the restart started is stopped as soon as it has started.
        EXPECT_EQ((std::vector<std::string> { "start 4", "stop", "start 4", "stop" }), core_.Ops());
        EXPECT_TRUE(page_->paused());
    }

    TEST_F(DownloadPageTest, QuitByTheCoreRestartsItWithFourThreads)
    {
        StartAndWatch(70);
        CoreStatus quit;
        quit.p2pState = kStateQuit;
        core_.SetStatus(quit);
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return core_.Starts() >= 2; }));
        EXPECT_GE(core_.Stops(), 1);
        std::lock_guard<std::mutex> lock(core_.mutex);
        EXPECT_EQ(4, core_.requests[1].httpThreads);
        EXPECT_EQ(kDefaultDir, core_.requests[1].installDir);
    }

    TEST_F(DownloadPageTest, ShowPercentFollowsTheDigitsBarAndHead)
    {
        page_->ShowPercent(-1);
        page_->ShowPercent(5);
        EXPECT_TRUE(view_.parts[PercentPart::kOnes]);
        EXPECT_TRUE(view_.parts[PercentPart::kSign]);
        EXPECT_FALSE(view_.parts[PercentPart::kTens]);
        EXPECT_FALSE(view_.parts[PercentPart::kHundreds]);
        EXPECT_EQ(5, view_.digits[PercentPart::kOnes]);
        EXPECT_EQ(5, view_.progress);
        EXPECT_TRUE(view_.headShown);
        EXPECT_EQ(131, view_.headX);
        EXPECT_EQ(384, view_.headY);

        page_->ShowPercent(99.9f);
        EXPECT_EQ(9, view_.digits[PercentPart::kTens]);
        EXPECT_TRUE(view_.parts[PercentPart::kTens]);
        EXPECT_TRUE(view_.headShown);
        EXPECT_EQ(99, view_.progress);
        page_->ShowPercent(5);
        EXPECT_FALSE(view_.parts[PercentPart::kTens]);
        EXPECT_EQ(131, view_.headX);

        page_->ShowPercent(100);
        EXPECT_TRUE(view_.parts[PercentPart::kHundreds]);
        EXPECT_EQ(0, view_.digits[PercentPart::kTens]);
        EXPECT_EQ(0, view_.digits[PercentPart::kOnes]);
        EXPECT_FALSE(view_.headShown);
        page_->ShowPercent(5);
        EXPECT_FALSE(view_.parts[PercentPart::kHundreds]);
        EXPECT_FALSE(view_.parts[PercentPart::kTens]);
        EXPECT_TRUE(view_.parts[PercentPart::kOnes]);
        EXPECT_EQ(5, view_.digits[PercentPart::kOnes]);
        EXPECT_TRUE(view_.headShown);
        EXPECT_EQ(131, view_.headX);

        // Values from a confused core stay within the display.
        page_->ShowPercent(1e10f);
        EXPECT_EQ(100, view_.progress);
        page_->ShowPercent(std::nanf(""));
        EXPECT_EQ(0, view_.progress);
        EXPECT_FALSE(view_.parts[PercentPart::kOnes]);
    }

    TEST_F(DownloadPageTest, SecondInstanceIsRefused)
    {
        ASSERT_TRUE(page_->TakeSingleInstance());
        DownloadPage second(&view_, env_);
        EXPECT_FALSE(second.TakeSingleInstance());
        ASSERT_EQ(1u, script_.Boxes().size());
        EXPECT_EQ(kTextAlreadyLoaded, script_.Boxes()[0].text);
        EXPECT_EQ(static_cast<unsigned>(MB_ICONINFORMATION), script_.Boxes()[0].flags);
    }

    TEST_F(DownloadPageTest, ClosingDuringADownloadStopsTheCoreAndEndsThePoll)
    {
        StartAndWatch(15);
        page_.reset();
        EXPECT_EQ(1, core_.Stops());
        int polls = core_.Polls();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(polls, core_.Polls());
        queue_.RunPending(); // late changes find no page
    }

} // namespace
} // namespace zdl
