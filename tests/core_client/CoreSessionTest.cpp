// Whole core sessions against the stand-in core: the written program and its
// command line, polling, the file-name requests, stopping (also before the
// core connected), restarts, start failures with their error codes, the
// console channel, and starts racing polls on two threads.
#include "core_client/CoreSession.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

namespace zdl {
namespace {

using Clock = std::chrono::steady_clock;

const std::string kTitleGbk = "Zephyra\xc3\xe2\xb7\xd1\xb0\xe6";  // "Zephyra免费版"

std::string ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
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
        folder_ = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "core_client" / "session" / info->name()).string();
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_ + "/temp");
        std::filesystem::create_directories(folder_ + "/install");
        log_ = folder_ + "/fake.log";
        program_ = ReadAll(ZDL_FAKE_CORE_PATH);
        ASSERT_FALSE(program_.empty());
        setenv("ZDL_FAKE_CORE_LOG", log_.c_str(), 1);
        setenv("ZDL_FAKE_CORE", "normal", 1);
        setenv("ZDL_FAKE_CORE_STEPS", "5", 1);
    }

    void TearDown() override
    {
        for (const ProcessRecord& p : started_) {
            KillProcess(p);
            int code;
            WaitForProcessExit(p, 2000, &code);
        }
        unsetenv("ZDL_FAKE_CORE_LOG");
        unsetenv("ZDL_FAKE_CORE");
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
            case kResProductTitle: return kTitleGbk;
            case kResCoreSuffix: return "r";
            case kResSourceUrl: return source_;
            default: return "";
            }
        };
        env.tempFolder = [this] { return folder_ + "/temp/"; };
        env.freeDiskSpace = [this](const std::string& folder, uint64_t* bytes) {
            freeSpaceFolder_ = folder;
            *bytes = 1000;
            return true;
        };
        env.reportError = [this](const std::string& text, const std::string& title) {
            errors_.push_back(title + "|" + text);
        };
        return env;
    }

    CoreStartRequest Request()
    {
        CoreStartRequest r;
        r.installDir = folder_ + "/install/";
        return r;
    }

    void Track(CoreSession& s) { started_.push_back(s.CoreProcess()); }

    // Polls every 50 ms until |done| holds or |ms| pass.
    template <typename Pred>
    bool PollUntil(CoreSession& s, int ms, Pred done, CoreStatus* last = nullptr)
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
    std::string freeSpaceFolder_;
    std::vector<std::string> errors_;
    std::vector<ProcessRecord> started_;
};

TEST_F(CoreSessionTest, StartsTheCoreWithItsCommandLineAndPolls)
{
    CoreSession s(Env());
    ASSERT_TRUE(s.StartCore(Request()));
    Track(s);
    EXPECT_TRUE(errors_.empty());
    const std::string program = folder_ + "/temp//Orvane\xcf\xc2\xd4\xd8\xc6\xf7-" + kTitleGbk + "_r.exe";
    EXPECT_EQ(ReadAll(program), program_) << "the core is written byte for byte";

    const uint16_t port = s.ChannelPort();
    const std::string expected = "\"" + program + "\" -Dir \"" + folder_ +
                                 "/install\" -HttpUrl http://127.0.0.1:8089 -Torrent zphdownload_setup.exe.data "
                                 "-Mode download -HttpThread 4 -P2PUploadThread 6 -P2PUploadListSize 12 "
                                 "-DownloadLimit 10000 -UploadLimit 10000 -DeleteDownloadInfo -InteractivePort " +
                                 std::to_string(port);
    EXPECT_EQ(s.LastCommandLine(), expected);
    EXPECT_GE(port, 10000);
    EXPECT_LE(port, 42767);

    CoreStatus st;
    ASSERT_TRUE(PollUntil(s, 10000, [](const CoreStatus& c) { return c.p2pState == 15 && !c.fileName.empty(); }, &st));
    EXPECT_EQ(st.fileName, "zpc.exe");
    EXPECT_EQ(st.totalByte, 1000000u);
    EXPECT_FLOAT_EQ(st.percentage, 100.0f);
    EXPECT_FALSE(s.AwaitingFileName());
    EXPECT_EQ(freeSpaceFolder_, "");  // no WriteFile error, no query

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
    EXPECT_TRUE(Exits(s.CoreProcess(), 5000, &code));
    EXPECT_EQ(code, 0) << "the core ends by itself on quit";
}

TEST_F(CoreSessionTest, LimitsAndThreadsReachTheCommandLine)
{
    CoreSession s(Env());
    CoreStartRequest r = Request();
    r.maxDownloadSpeed = 512.7f;
    r.maxUploadSpeed = -1;
    r.httpThreads = 2;
    ASSERT_TRUE(s.StartCore(r));
    Track(s);
    const std::string line = s.LastCommandLine();
    EXPECT_NE(line.find(" -HttpThread 2 "), std::string::npos) << line;
    EXPECT_NE(line.find(" -DownloadLimit 512 -UploadLimit 10000 "), std::string::npos) << line;
    EXPECT_EQ(s.LaunchSettings().installDir, folder_ + "/install");
}

TEST_F(CoreSessionTest, StopBeforeTheCoreConnectsEndsIt)
{
    setenv("ZDL_FAKE_CORE", "noconnect", 1);
    CoreSession s(Env());
    ASSERT_TRUE(s.StartCore(Request()));
    Track(s);
    ASSERT_TRUE(s.StopCore());
    int code = -1;
    ASSERT_TRUE(Exits(s.CoreProcess(), 5000, &code)) << "a core that cannot hear quit must not keep running";
    EXPECT_NE(code, 0);
}

TEST_F(CoreSessionTest, QuitSentBeforeTheFirstPollStillArrives)
{
    CoreSession s(Env());
    ASSERT_TRUE(s.StartCore(Request()));
    Track(s);
    // Give the core time to connect, but accept nothing by polling.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(s.StopCore());
    int code = -1;
    ASSERT_TRUE(Exits(s.CoreProcess(), 5000, &code));
    EXPECT_EQ(code, 0) << "it quit on the command";
    EXPECT_EQ(Count(ReadLines(log_), "cmd:quit"), 1);
}

TEST_F(CoreSessionTest, RestartRetiresThePreviousCore)
{
    CoreSession s(Env());
    ASSERT_TRUE(s.StartCore(Request()));
    const ProcessRecord first = s.CoreProcess();
    Track(s);
    const uint16_t firstPort = s.ChannelPort();
    ASSERT_TRUE(PollUntil(s, 5000, [](const CoreStatus& c) { return c.p2pState == 14; }));
    ASSERT_TRUE(s.StartCore(Request()));  // without a quit first
    Track(s);
    int code = -1;
    EXPECT_TRUE(Exits(first, 5000, &code)) << "two cores must not run at once";
    EXPECT_NE(s.ChannelPort(), 0);
    (void)firstPort;
    CoreStatus st;
    // The new core starts from a reset status and asks for the file again.
    EXPECT_TRUE(s.AwaitingFileName());
    s.PollCoreStatus(st);
    EXPECT_EQ(st.p2pState, 0);
    ASSERT_TRUE(PollUntil(s, 5000, [](const CoreStatus& c) { return c.p2pState == 14; }));
    s.StopCore();
}

TEST_F(CoreSessionTest, MissingProgramOrSourceFailsTheStart)
{
    {
        haveProgram_ = false;
        CoreSession s(Env());
        EXPECT_FALSE(s.StartCore(Request()));
        EXPECT_EQ(s.CoreProcess().process, kNoOsHandle);
    }
    {
        haveProgram_ = true;
        source_ = "";
        CoreSession s(Env());
        EXPECT_FALSE(s.StartCore(Request()));
        EXPECT_EQ(s.CoreProcess().process, kNoOsHandle);
    }
    EXPECT_TRUE(errors_.empty());
}

TEST_F(CoreSessionTest, SourceWithoutSlashStartsWithThePortOnly)
{
    source_ = "nowhere";
    CoreSession s(Env());
    ASSERT_TRUE(s.StartCore(Request()));
    Track(s);
    const std::string line = s.LastCommandLine();
    const std::string tail = "\"  -InteractivePort " + std::to_string(s.ChannelPort());
    ASSERT_GE(line.size(), tail.size());
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
}

TEST_F(CoreSessionTest, ProgramThatCannotRunIsReportedWithTheSystemCode)
{
    program_ = "this is not a program\n";
    CoreSession s(Env());
    EXPECT_TRUE(s.StartCore(Request())) << "a failed process start still counts as started";
    ASSERT_EQ(errors_.size(), 1u);
    // "错误" | "启动下载器内核进程失败, 错误码: 8" (ENOEXEC)
    EXPECT_EQ(errors_[0], std::string(kErrorTitle) + "|" +
                              "\xc6\xf4\xb6\xaf\xcf\xc2\xd4\xd8\xc6\xf7\xc4\xda\xba\xcb\xbd\xf8\xb3\xcc\xca\xa7\xb0\xdc"
                              ", \xb4\xed\xce\xf3\xc2\xeb: 8");
    // The poll runs against a core that never answers: reset values stay.
    CoreStatus st;
    s.PollCoreStatus(st);
    EXPECT_EQ(st.p2pState, 0);
    EXPECT_EQ(st.fileName, "");
}

TEST_F(CoreSessionTest, MissingProgramFileGivesCodeTwo)
{
    CoreSession s(Env());
    CoreLaunchSettings settings;
    settings.sourceUrl = source_;
    settings.installDir = folder_ + "/install/";
    settings.mode = "download";
    s.LaunchCore(folder_ + "/temp/absent core.exe", settings);
    ASSERT_EQ(errors_.size(), 1u);
    const std::string tail = ": 2";
    EXPECT_EQ(errors_[0].substr(errors_[0].size() - tail.size()), tail) << errors_[0];
}

TEST_F(CoreSessionTest, WriteFileErrorAsksForSpaceOnTheTrimmedFolder)
{
    setenv("ZDL_FAKE_CORE", "diskfull", 1);
    CoreSession s(Env());
    CoreStartRequest r = Request();
    r.installDir = folder_ + "/install\\\\";
    ASSERT_TRUE(s.StartCore(r));
    Track(s);
    CoreStatus st;
    // 1000 bytes free against hundreds of thousands missing: disk full.
    ASSERT_TRUE(PollUntil(s, 5000, [](const CoreStatus& c) { return c.errorKind == kErrorDiskFull; }, &st));
    EXPECT_EQ(freeSpaceFolder_, folder_ + "/install");
    EXPECT_EQ(s.LaunchSettings().installDir, folder_ + "/install");
    s.StopCore();
}

TEST_F(CoreSessionTest, ConsoleChannelCarriesTheSameProtocol)
{
    CoreSession s(Env());
    const std::string program = std::string(ZDL_FAKE_CORE_PATH);
    ASSERT_TRUE(s.StartCoreProcess(QuoteProgramPath(program), ChannelKind::kConsole));
    Track(s);
    EXPECT_EQ(s.ChannelPort(), 0);
    CoreStatus st;
    ASSERT_TRUE(PollUntil(s, 10000, [](const CoreStatus& c) { return c.p2pState == 14; }, &st));
    EXPECT_EQ(st.totalByte, 1000000u);
    ASSERT_TRUE(s.StopCore());
    int code = -1;
    EXPECT_TRUE(Exits(s.CoreProcess(), 5000, &code));
    EXPECT_EQ(code, 0);
}

TEST_F(CoreSessionTest, StartsOnOneThreadNeverOverlapAPollOnAnother)
{
    setenv("ZDL_FAKE_CORE_STEPS", "1000", 1);
    CoreSession s(Env());
    ASSERT_TRUE(s.StartCore(Request()));
    Track(s);
    std::atomic<bool> stop{false};
    std::atomic<int> polls{0};
    std::thread poller([&] {
        CoreStatus st;
        while (!stop) {
            s.PollCoreStatus(st);
            ASSERT_GE(st.p2pState, 0);
            ++polls;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < 5; ++i) {
        s.StopCore();
        ASSERT_TRUE(s.StartCore(Request()));
        Track(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    stop = true;
    poller.join();
    EXPECT_GT(polls.load(), 10);
    ASSERT_TRUE(PollUntil(s, 5000, [](const CoreStatus& c) { return c.p2pState == 14; }));
    s.StopCore();
    for (size_t i = 0; i + 1 < started_.size(); ++i) {
        int code;
        EXPECT_TRUE(Exits(started_[i], 5000, &code)) << "core " << i << " still runs";
    }
}

}  // namespace
}  // namespace zdl
