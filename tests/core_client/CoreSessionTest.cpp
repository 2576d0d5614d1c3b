// Whole core sessions against the stand-in core: the written program and its
// command line, polling, the file-name requests, stopping (also before the
// core connected), restarts, start failures with their error codes, the
// console channel, and starts racing polls on two threads.
#include "core_client/CoreSession.h"
#include "platform/Process.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace zdl {
namespace {

    using Clock = std::chrono::steady_clock;
    // Bound on waiting for a stand-in core to start, connect, report or
    // end: generous, as a process start on a loaded or emulated machine
    // (32-bit Wine under qemu) takes seconds; it costs time only on failure.
    constexpr int kCoreWaitMs = 30000;

    const std::string kTitleGbk = "Zephyra\xc3\xe2\xb7\xd1\xb0\xe6"; // "Zephyra免费版"
    const std::string kSep(1, kPathSeparator);

    void SetEnv(const char* name, const char* value)
    {
#ifdef _WIN32
        _putenv_s(name, value);
#else
        setenv(name, value, 1);
#endif
    }

// The system's code for a file that is not a program.
#ifdef _WIN32
    const char* const kNotAProgramCode = "193"; // ERROR_BAD_EXE_FORMAT
#else
    const char* const kNotAProgramCode = "8"; // ENOEXEC
#endif

    // In one piece: the stand-in core is megabytes, and a byte-wise copy
    // under the sanitizers took seconds of CPU per test on a loaded machine.
    std::string ReadAll(const std::string& path)
    {
        std::ifstream f(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << f.rdbuf();
        return bytes.str();
    }

    std::vector<std::string> ReadLines(const std::string& path)
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadAll(path));
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        return lines;
    }

    int Count(const std::vector<std::string>& lines, const std::string& what)
    {
        int n = 0;
        for (const std::string& l : lines)
            n += l == what;
        return n;
    }

    class CoreSessionTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            folder_
                = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "core_client" / "session" / info->name()).string();
            std::filesystem::remove_all(folder_);
            std::filesystem::create_directories(folder_ + "/temp");
            std::filesystem::create_directories(folder_ + "/install");
            log_ = folder_ + "/fake.log";
            program_ = ReadAll(ZDL_FAKE_CORE_PATH);
            ASSERT_FALSE(program_.empty());
            SetEnv("ZDL_FAKE_CORE_LOG", log_.c_str());
            SetEnv("ZDL_FAKE_CORE", "normal");
            SetEnv("ZDL_FAKE_CORE_STEPS", "5");
        }

        void TearDown() override
        {
            EndSession();
            SetEnv("ZDL_FAKE_CORE_LOG", "");
            SetEnv("ZDL_FAKE_CORE", "");
        }

        // The session under test; a later call replaces the earlier one.
        CoreSession& NewSession()
        {
            EndSession();
            session_ = std::make_unique<CoreSession>(Env());
            return *session_;
        }

        // No stand-in core may outlive its test: a late one could connect to
        // the next test's channel on the same port.
        void EndSession()
        {
            if (!session_)
                return;
            const ProcessRecord p = session_->CoreProcess();
            if (p.process != kNoOsHandle) {
                KillProcess(p);
                int code;
                WaitForProcessExit(p, 5000, &code);
            }
            const auto end = Clock::now() + std::chrono::seconds(5);
            CoreStatus st;
            while (session_->RetiredCoreCount() > 0 && Clock::now() < end) {
                session_->PollCoreStatus(st);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            session_.reset();
        }

        // Polls until every replaced core has ended.
        bool RetiredCoresEnd(CoreSession& s, int ms)
        {
            const auto end = Clock::now() + std::chrono::milliseconds(ms);
            CoreStatus st;
            while (s.RetiredCoreCount() > 0 && Clock::now() < end) {
                s.PollCoreStatus(st);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return s.RetiredCoreCount() == 0;
        }

        CoreClientEnvironment Env()
        {
            CoreClientEnvironment env;
            env.findCoreProgram = [this](ResourceBlob* out) {
                if (!haveProgram_)
                    return false;
                out->data = reinterpret_cast<const unsigned char*>(program_.data());
                out->size = program_.size();
                return true;
            };
            env.loadString = [this](int id) -> std::string {
                switch (id) {
                case kResProductTitle:
                    return kTitleGbk;
                case kResCoreSuffix:
                    return "r";
                case kResSourceUrl:
                    return source_;
                default:
                    return "";
                }
            };
            env.tempFolder = [this] { return folder_ + "/" + tempName_ + kSep; };
            env.freeDiskSpace = [this](const std::string& folder, uint64_t* bytes) {
                freeSpaceFolder_ = folder;
                *bytes = 1000;
                return true;
            };
            env.reportError
                = [this](const std::string& text, const std::string& title) { errors_.push_back(title + "|" + text); };
            return env;
        }

        CoreStartRequest Request()
        {
            CoreStartRequest r;
            r.installDir = folder_ + "/install" + kSep;
            return r;
        }

        // The core answers polls (downloading or, when several queued polls
        // were answered at once, already complete).
        static bool IsAnswering(const CoreStatus& c) { return c.p2pState >= 14; }

        // Polls every 50 ms until |done| holds or |ms| pass.
        template <typename Pred> bool PollUntil(CoreSession& s, int ms, Pred done, CoreStatus* last = nullptr)
        {
            const auto end = Clock::now() + std::chrono::milliseconds(ms);
            CoreStatus st;
            do {
                s.PollCoreStatus(st);
                if (last)
                    *last = st;
                if (done(st))
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            } while (Clock::now() < end);
            return false;
        }

        static bool Exits(const ProcessRecord& p, int ms, int* code)
        {
            return WaitForProcessExit(p, static_cast<uint32_t>(ms), code);
        }

        std::string folder_, log_, program_;
        std::string source_ = "http://127.0.0.1:8089/zphdownload_setup.exe.data";
        bool haveProgram_ = true;
        std::string tempName_ = "temp";
        std::string freeSpaceFolder_;
        std::vector<std::string> errors_;
        std::unique_ptr<CoreSession> session_;
    };

    TEST_F(CoreSessionTest, StartsTheCoreWithItsCommandLineAndPolls)
    {
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        EXPECT_TRUE(errors_.empty());
        const std::string program
            = folder_ + "/temp" + kSep + kSep + "Orvane\xcf\xc2\xd4\xd8\xc6\xf7-" + kTitleGbk + "_r.exe";
        EXPECT_EQ(ReadAll(program), program_) << "the core is written byte for byte";

        const uint16_t port = s.ChannelPort();
        const std::string expected = "\"" + program + "\" -Dir \"" + folder_
            + "/install\" -HttpUrl http://127.0.0.1:8089 -Torrent zphdownload_setup.exe.data "
              "-Mode download -HttpThread 4 -P2PUploadThread 6 -P2PUploadListSize 12 "
              "-DownloadLimit 10000 -UploadLimit 10000 -DeleteDownloadInfo -InteractivePort "
            + std::to_string(port);
        EXPECT_EQ(s.LastCommandLine(), expected);
        EXPECT_GE(port, 10000);
        EXPECT_LE(port, 42767);

        CoreStatus st;
        // The lines of one answer may come in over several polls; wait for
        // the whole of it.
        ASSERT_TRUE(PollUntil(
            s, kCoreWaitMs,
            [](const CoreStatus& c) { return c.p2pState == 15 && c.percentage == 100.0f && !c.fileName.empty(); },
            &st));
        EXPECT_EQ(st.fileName, "zpc.exe");
        EXPECT_EQ(st.totalByte, 1000000u);
        EXPECT_FLOAT_EQ(st.percentage, 100.0f);
        EXPECT_FALSE(s.AwaitingFileName());
        EXPECT_EQ(freeSpaceFolder_, ""); // no WriteFile error, no query

        // Once the name is known no more "get qf 0" goes out.
        const int asksBefore = Count(ReadLines(log_), "cmd:get qf 0");
        for (int i = 0; i < 4; ++i) {
            s.PollCoreStatus(st);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        EXPECT_EQ(Count(ReadLines(log_), "cmd:get qf 0"), asksBefore);
        EXPECT_GE(asksBefore, 3);

        // The core saw its arguments as the installer meant them.
        std::vector<std::string> log = ReadLines(log_);
        auto at = std::find(log.begin(), log.end(), "arg:-Dir");
        ASSERT_NE(at, log.end());
        EXPECT_EQ(*(at + 1), "arg:" + folder_ + "/install");

        ASSERT_TRUE(s.StopCore());
        int code = -1;
        EXPECT_TRUE(Exits(s.CoreProcess(), kCoreWaitMs, &code));
        EXPECT_EQ(code, 0) << "the core ends by itself on quit";
    }

    TEST_F(CoreSessionTest, LimitsAndThreadsReachTheCommandLine)
    {
        CoreSession& s = NewSession();
        CoreStartRequest r = Request();
        r.maxDownloadSpeed = 512.7f;
        r.maxUploadSpeed = -1;
        r.httpThreads = 2;
        ASSERT_TRUE(s.StartCore(r));
        const std::string line = s.LastCommandLine();
        EXPECT_NE(line.find(" -HttpThread 2 "), std::string::npos) << line;
        EXPECT_NE(line.find(" -DownloadLimit 512 -UploadLimit 10000 "), std::string::npos) << line;
        EXPECT_EQ(s.LaunchSettings().installDir, folder_ + "/install");
    }

    TEST_F(CoreSessionTest, StopBeforeTheCoreConnectsEndsIt)
    {
        SetEnv("ZDL_FAKE_CORE", "noconnect");
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        ASSERT_TRUE(s.StopCore());
        int code = -1;
        ASSERT_TRUE(Exits(s.CoreProcess(), kCoreWaitMs, &code)) << "a core that cannot hear quit must not keep running";
        EXPECT_NE(code, 0);
    }

    TEST_F(CoreSessionTest, QuitSentBeforeTheFirstPollStillArrives)
    {
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        // Let the core connect (it says so in its log), but accept nothing by
        // polling.
        const auto end = Clock::now() + std::chrono::milliseconds(kCoreWaitMs);
        while (Count(ReadLines(log_), "connected") == 0 && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(s.StopCore());
        int code = -1;
        ASSERT_TRUE(Exits(s.CoreProcess(), kCoreWaitMs, &code));
        EXPECT_EQ(code, 0) << "it quit on the command";
        EXPECT_EQ(Count(ReadLines(log_), "cmd:quit"), 1);
    }

    TEST_F(CoreSessionTest, RestartRetiresThePreviousCore)
    {
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        ASSERT_TRUE(PollUntil(s, kCoreWaitMs, IsAnswering));
        ASSERT_TRUE(s.StartCore(Request())); // without a quit first
        // Retired, or already let go: the restart looks at retired cores
        // right after sending the quit, and a core that ends at once (Wine
        // ends one within milliseconds) is gone before StartCore returns.
        EXPECT_LE(s.RetiredCoreCount(), 1u);
        // The new core starts from a reset status and asks for the file again.
        EXPECT_TRUE(s.AwaitingFileName());
        EXPECT_EQ(s.Status().p2pState, 0);
        EXPECT_TRUE(RetiredCoresEnd(s, kCoreWaitMs)) << "two cores must not run at once";
        EXPECT_EQ(Count(ReadLines(log_), "cmd:quit"), 1) << "the old core was told to quit";
        ASSERT_TRUE(PollUntil(s, kCoreWaitMs, IsAnswering));
    }

    TEST_F(CoreSessionTest, ReplacedCoreThatNeverConnectedIsEnded)
    {
        SetEnv("ZDL_FAKE_CORE", "noconnect");
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        SetEnv("ZDL_FAKE_CORE", "normal");
        ASSERT_TRUE(s.StartCore(Request()));
        EXPECT_TRUE(RetiredCoresEnd(s, kCoreWaitMs));
        ASSERT_TRUE(PollUntil(s, kCoreWaitMs, IsAnswering));
    }

    TEST_F(CoreSessionTest, TemporaryFolderWithABlankStillStartsTheCore)
    {
        tempName_ = "temp folder";
        std::filesystem::create_directories(folder_ + "/" + tempName_);
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        EXPECT_TRUE(errors_.empty()) << errors_[0];
        ASSERT_TRUE(PollUntil(s, kCoreWaitMs, IsAnswering));
    }

    TEST_F(CoreSessionTest, WithoutAChannelNothingIsSentOrReceived)
    {
        CoreSession& s = NewSession();
        EXPECT_FALSE(s.SendCommand("stat"));
        EXPECT_FALSE(s.SendGet("tb"));
        EXPECT_FALSE(s.StopCore());
        std::string line;
        EXPECT_FALSE(s.ReceiveStatusLine(line));
        EXPECT_FALSE(s.GetStatusValue("P2PState", line));
        CoreStatus st;
        st.p2pState = 99;
        s.PollCoreStatus(st);
        EXPECT_EQ(st.p2pState, 0);
        EXPECT_EQ(s.ChannelPort(), 0);
    }

    TEST_F(CoreSessionTest, MissingProgramOrSourceFailsTheStart)
    {
        {
            haveProgram_ = false;
            CoreSession& s = NewSession();
            EXPECT_FALSE(s.StartCore(Request()));
            EXPECT_EQ(s.CoreProcess().process, kNoOsHandle);
        }
        {
            haveProgram_ = true;
            source_ = "";
            CoreSession& s = NewSession();
            EXPECT_FALSE(s.StartCore(Request()));
            EXPECT_EQ(s.CoreProcess().process, kNoOsHandle);
        }
        EXPECT_TRUE(errors_.empty());
    }

    TEST_F(CoreSessionTest, SourceWithoutSlashStartsWithThePortOnly)
    {
        source_ = "nowhere";
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        const std::string line = s.LastCommandLine();
        const std::string tail = "\"  -InteractivePort " + std::to_string(s.ChannelPort());
        ASSERT_GE(line.size(), tail.size());
        EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    }

    TEST_F(CoreSessionTest, ProgramThatCannotRunIsReportedWithTheSystemCode)
    {
        program_ = "this is not a program\n";
        CoreSession& s = NewSession();
        EXPECT_TRUE(s.StartCore(Request())) << "a failed process start still counts as started";
        ASSERT_EQ(errors_.size(), 1u);
        // "错误" | "启动下载器内核进程失败, 错误码: N" with the system's code
        EXPECT_EQ(errors_[0],
            std::string(kErrorTitle) + "|"
                + "\xc6\xf4\xb6\xaf\xcf\xc2\xd4\xd8\xc6\xf7\xc4\xda\xba\xcb\xbd\xf8\xb3\xcc\xca\xa7\xb0\xdc"
                  ", \xb4\xed\xce\xf3\xc2\xeb: "
                + kNotAProgramCode);
        // The poll runs against a core that never answers: reset values stay.
        CoreStatus st;
        s.PollCoreStatus(st);
        EXPECT_EQ(st.p2pState, 0);
        EXPECT_EQ(st.fileName, "");
    }

    // The installer's reporter is a message box that stays until the player
    // closes it; meanwhile the poll thread must go on.
    TEST_F(CoreSessionTest, ReporterThatWaitsDoesNotHoldUpAPoll)
    {
        program_ = "this is not a program\n";
        CoreSession& s = NewSession();
        std::mutex m;
        std::condition_variable cv;
        bool entered = false, polled = false, polledWhileShown = false;
        s.SetErrorReporter([&](const std::string&, const std::string&) {
            std::unique_lock<std::mutex> lock(m);
            entered = true;
            cv.notify_all();
            polledWhileShown = cv.wait_for(lock, std::chrono::seconds(10), [&] { return polled; });
        });
        std::thread starter([&] { s.StartCore(Request()); });
        {
            std::unique_lock<std::mutex> lock(m);
            EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return entered; }));
        }
        CoreStatus st;
        s.PollCoreStatus(st);
        {
            std::lock_guard<std::mutex> lock(m);
            polled = true;
        }
        cv.notify_all();
        starter.join();
        EXPECT_TRUE(polledWhileShown) << "the poll waited for the reporter";
    }

    TEST_F(CoreSessionTest, MissingProgramFileGivesCodeTwo)
    {
        CoreSession& s = NewSession();
        CoreLaunchSettings settings;
        settings.sourceUrl = source_;
        settings.installDir = folder_ + "/install" + kSep;
        settings.mode = "download";
        s.LaunchCore(folder_ + "/temp/absent core.exe", settings);
        ASSERT_EQ(errors_.size(), 1u);
        const std::string tail = ": 2";
        EXPECT_EQ(errors_[0].substr(errors_[0].size() - tail.size()), tail) << errors_[0];
    }

    TEST_F(CoreSessionTest, WriteFileErrorAsksForSpaceOnTheTrimmedFolder)
    {
        SetEnv("ZDL_FAKE_CORE", "diskfull");
        CoreSession& s = NewSession();
        CoreStartRequest r = Request();
        r.installDir = folder_ + "/install\\\\";
        ASSERT_TRUE(s.StartCore(r));
        CoreStatus st;
        // 1000 bytes free against hundreds of thousands missing: disk full.
        ASSERT_TRUE(PollUntil(
            s, kCoreWaitMs, [](const CoreStatus& c) { return c.errorKind == kErrorDiskFull; }, &st));
        EXPECT_EQ(freeSpaceFolder_, folder_ + "/install");
        EXPECT_EQ(s.LaunchSettings().installDir, folder_ + "/install");
        s.StopCore();
    }

    TEST_F(CoreSessionTest, ConsoleChannelCarriesTheSameProtocol)
    {
        // Downloading for long (1 % a step): a slow start under load can
        // answer several queued polls at once, and five would complete it.
        SetEnv("ZDL_FAKE_CORE_STEPS", "100");
        CoreSession& s = NewSession();
        const std::string program = std::string(ZDL_FAKE_CORE_PATH);
        ASSERT_TRUE(s.StartCoreProcess(QuoteProgramPath(program), ChannelKind::kConsole));
        EXPECT_EQ(s.ChannelPort(), 0);
        CoreStatus st;
        // Answers to "stat" and "get tb" come in separately; wait for both.
        ASSERT_TRUE(PollUntil(
            s, kCoreWaitMs, [](const CoreStatus& c) { return c.p2pState == 14 && c.totalByte == 1000000u; }, &st));
        EXPECT_GT(st.percentage, 0);
        ASSERT_TRUE(s.StopCore());
        int code = -1;
        EXPECT_TRUE(Exits(s.CoreProcess(), kCoreWaitMs, &code));
        EXPECT_EQ(code, 0);
    }

    TEST_F(CoreSessionTest, StartsOnOneThreadNeverOverlapAPollOnAnother)
    {
        SetEnv("ZDL_FAKE_CORE_STEPS", "1000");
        CoreSession& s = NewSession();
        ASSERT_TRUE(s.StartCore(Request()));
        std::atomic<bool> stop { false };
        std::atomic<int> polls { 0 };
        std::thread poller([&] {
            CoreStatus st;
            while (!stop) {
                s.PollCoreStatus(st);
                ASSERT_GE(st.p2pState, 0);
                ++polls;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        // After each start the poller gets in at least twice (bounded: a
        // start under Wine on a loaded machine holds the lock for long).
        auto pollerRuns = [&](int from) {
            const auto end = Clock::now() + std::chrono::milliseconds(kCoreWaitMs);
            while (polls.load() < from + 2 && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return polls.load() >= from + 2;
        };
        for (int i = 0; i < 5; ++i) {
            s.StopCore();
            EXPECT_TRUE(s.StartCore(Request()));
            EXPECT_TRUE(pollerRuns(polls.load())) << "start " << i;
        }
        stop = true;
        poller.join();
        ASSERT_TRUE(PollUntil(s, kCoreWaitMs, IsAnswering));
        EXPECT_TRUE(RetiredCoresEnd(s, kCoreWaitMs)) << "every replaced core has ended";
        s.StopCore();
    }

} // namespace
} // namespace zdl
