// The core's command line, the install-folder trimming, the speed limits,
// writing the core program out, the run-time generator that picks the port
// and the Windows rules that split a command line.
#include "core_client/CoreLaunch.h"
#include "core_client/CrtRandom.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace zdl {
namespace {

    CoreLaunchSettings Settings(const char* dir, int32_t down = 10000, int32_t up = 10000)
    {
        CoreLaunchSettings s;
        s.sourceUrl = "http://dl.example.com/zphdownload_setup.exe.data";
        s.installDir = dir;
        s.mode = "download";
        s.downloadLimit = down;
        s.uploadLimit = up;
        s.httpThreads = 4;
        return s;
    }

    TEST(BuildCoreArguments, ExactOptionsForFolderAndLimits)
    {
        struct Case {
            const char* dir;
            int32_t down;
            int32_t up;
            const char* expected;
        } cases[] = {
            { "D:\\Games\\Zephyra\\", 10000, 10000,
                "-Dir \"D:\\Games\\Zephyra\" -HttpUrl http://dl.example.com -Torrent zphdownload_setup.exe.data "
                "-Mode download -HttpThread 4 -P2PUploadThread 6 -P2PUploadListSize 12 -DownloadLimit 10000 "
                "-UploadLimit 10000 -DeleteDownloadInfo" },
            { "D:\\", 512, -7,
                "-Dir \"D:\" -HttpUrl http://dl.example.com -Torrent zphdownload_setup.exe.data -Mode download "
                "-HttpThread 4 -P2PUploadThread 6 -P2PUploadListSize 12 -DownloadLimit 512 -UploadLimit -7 "
                "-DeleteDownloadInfo" },
            { "C:\\a b\\\\\\", 1, 2,
                "-Dir \"C:\\a b\" -HttpUrl http://dl.example.com -Torrent zphdownload_setup.exe.data -Mode download "
                "-HttpThread 4 -P2PUploadThread 6 -P2PUploadListSize 12 -DownloadLimit 1 -UploadLimit 2 "
                "-DeleteDownloadInfo" },
        };
        for (const Case& c : cases) {
            CoreLaunchSettings s = Settings(c.dir, c.down, c.up);
            std::string options;
            ASSERT_TRUE(BuildCoreArguments(s, options));
            EXPECT_EQ(options, c.expected);
            EXPECT_EQ(s.installDir.back() == '\\', false) << "trimmed in place";
        }
    }

    TEST(BuildCoreArguments, FlagOnlyWhenSetAndNoTrailingSpace)
    {
        CoreLaunchSettings s = Settings("E:\\z\\");
        s.deleteDownloadInfo = false;
        s.httpThreads = 1;
        std::string options;
        ASSERT_TRUE(BuildCoreArguments(s, options));
        EXPECT_EQ(options,
            "-Dir \"E:\\z\" -HttpUrl http://dl.example.com -Torrent zphdownload_setup.exe.data -Mode download "
            "-HttpThread 1 -P2PUploadThread 6 -P2PUploadListSize 12 -DownloadLimit 10000 -UploadLimit 10000");
    }

    // Sharing is the core's default: only switching it off is said, last,
    // so that the core's parser takes it as a value it knows.
    TEST(BuildCoreArguments, SharingOffIsPassedOn)
    {
        CoreLaunchSettings s = Settings("E:\\z\\");
        s.share = false;
        std::string options;
        ASSERT_TRUE(BuildCoreArguments(s, options));
        EXPECT_EQ(options,
            "-Dir \"E:\\z\" -HttpUrl http://dl.example.com -Torrent zphdownload_setup.exe.data -Mode download "
            "-HttpThread 4 -P2PUploadThread 6 -P2PUploadListSize 12 -DownloadLimit 10000 -UploadLimit 10000 "
            "-DeleteDownloadInfo -P2PShare 0");
    }

    TEST(BuildCoreArguments, SourceWithoutSlashGivesNoOptions)
    {
        CoreLaunchSettings s = Settings("D:\\x\\");
        s.sourceUrl = "zphdownload_setup.exe.data";
        std::string options;
        EXPECT_FALSE(BuildCoreArguments(s, options));
        EXPECT_EQ(options, "");
    }

    TEST(BuildCoreArguments, LastSlashSplitsBaseAndFile)
    {
        CoreLaunchSettings s = Settings("D:\\x");
        s.sourceUrl = "http://h:8089/a/b/desc.data";
        std::string options;
        ASSERT_TRUE(BuildCoreArguments(s, options));
        EXPECT_NE(options.find(" -HttpUrl http://h:8089/a/b -Torrent desc.data "), std::string::npos) << options;
    }

    // String 150 may list mirrors: each address split at its last "/",
    // the bases joined by ";", one description name for all of them.
    TEST(BuildCoreArguments, MirrorListJoinsBasesUnderOneName)
    {
        CoreLaunchSettings s = Settings("D:\\x");
        s.sourceUrl = "http://a.example/z/desc.data;https://b.example:8443/desc.data;";
        std::string options;
        ASSERT_TRUE(BuildCoreArguments(s, options));
        EXPECT_NE(
            options.find(" -HttpUrl http://a.example/z;https://b.example:8443 -Torrent desc.data "), std::string::npos)
            << options;
        for (const char* bad : { "http://a/desc.data;http://b/other.data", "http://a/desc.data;desc.data",
                 "http://a/desc.data;http://b/", ";", "" }) {
            s.sourceUrl = bad;
            options = "x";
            EXPECT_FALSE(BuildCoreArguments(s, options)) << bad;
            EXPECT_EQ(options, "x") << bad;
        }
    }

    TEST(CoreSpeedLimit, UnlimitedBecomesDefaultOthersTruncate)
    {
        EXPECT_EQ(CoreSpeedLimit(-1), 10000);
        EXPECT_EQ(CoreSpeedLimit(0), 10000);
        EXPECT_EQ(CoreSpeedLimit(512), 512);
        EXPECT_EQ(CoreSpeedLimit(512.9f), 512);
        EXPECT_EQ(CoreSpeedLimit(0.5f), 0);
        EXPECT_EQ(CoreSpeedLimit(1e20f), 2147483647);
    }

    TEST(TrimInstallDir, RemovesEveryTrailingBackslashButNotHalfACharacter)
    {
        EXPECT_EQ(TrimInstallDir("D:\\Games\\Zephyra\\"), "D:\\Games\\Zephyra");
        EXPECT_EQ(TrimInstallDir("D:\\"), "D:");
        EXPECT_EQ(TrimInstallDir("D:\\x\\\\"), "D:\\x");
        EXPECT_EQ(TrimInstallDir("D:\\x"), "D:\\x");
        // "乗" (81 5C) and "媆" (8B 5C) end in 0x5C without being separators.
        EXPECT_EQ(TrimInstallDir("D:\\\x81\x5c"), "D:\\\x81\x5c");
        EXPECT_EQ(TrimInstallDir("D:\\\x8b\x5c\\\\"), "D:\\\x8b\x5c");
        EXPECT_EQ(TrimInstallDir("D:\\\x81\x5c\x81\x5c\\"), "D:\\\x81\x5c\x81\x5c");
#ifndef _WIN32
        EXPECT_EQ(TrimInstallDir("/home/p/game//"), "/home/p/game");
        EXPECT_EQ(TrimInstallDir("/"), "/");
#endif
    }

    TEST(CoreProgramFileName, NamesTheFileAfterTitleAndSuffix)
    {
        // "Zephyra免费版_r" in GBK.
        const std::string namePart = "Zephyra\xc3\xe2\xb7\xd1\xb0\xe6_r";
        EXPECT_EQ(
            CoreProgramFileName(namePart), "Orvane\xcf\xc2\xd4\xd8\xc6\xf7-Zephyra\xc3\xe2\xb7\xd1\xb0\xe6_r.exe");
    }

    TEST(QuoteProgramPath, QuotesSoBlanksStayInThePath)
    {
        std::string line = QuoteProgramPath("C:\\Users\\A B\\Temp\\\\core.exe") + " -Dir \"D:\"";
        std::vector<std::string> args = SplitCommandLine(line);
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[0], "C:\\Users\\A B\\Temp\\\\core.exe");
        EXPECT_EQ(args[1], "-Dir");
        EXPECT_EQ(args[2], "D:");
    }

#ifndef _WIN32
    // A fresh folder of the build tree, ending with a separator like the
    // system's temporary folder does.
    std::string TestFolder(const char* name)
    {
        std::filesystem::path dir
            = std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "core_client" / (std::string("tmp-") + name);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        return dir.string() + "/";
    }

    std::string ReadAll(const std::string& path)
    {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    TEST(ExtractCoreProgram, WritesTheBytesAndRewritesOnNextStart)
    {
        const std::string temp = TestFolder("extract");
        const unsigned char bytes1[] = { 'M', 'Z', 0, 1, 2, 3 };
        const unsigned char bytes2[] = { 'M', 'Z', 9 };
        std::string path;
        ASSERT_TRUE(ExtractCoreProgram("T_r", ResourceBlob { bytes1, sizeof bytes1 }, temp, path));
        EXPECT_EQ(path, temp + "/Orvane\xcf\xc2\xd4\xd8\xc6\xf7-T_r.exe");
        EXPECT_EQ(ReadAll(path), std::string(reinterpret_cast<const char*>(bytes1), sizeof bytes1));
        ASSERT_TRUE(ExtractCoreProgram("T_r", ResourceBlob { bytes2, sizeof bytes2 }, temp, path));
        EXPECT_EQ(ReadAll(path), std::string(reinterpret_cast<const char*>(bytes2), sizeof bytes2));
    }

    TEST(ExtractCoreProgram, TempFolderMustFitThePathBuffer)
    {
        const unsigned char bytes[] = { 'x' };
        std::string path;
        EXPECT_FALSE(ExtractCoreProgram("T_r", ResourceBlob { bytes, 1 }, "", path));
        EXPECT_FALSE(ExtractCoreProgram("T_r", ResourceBlob { nullptr, 0 }, TestFolder("extract"), path));
        // 260 characters no longer fit with the final zero; 259 do (if the
        // folder exists, which a nonexistent one here does not, so only the
        // length decides the first).
        std::string tooLong = "/" + std::string(258, 'a') + "/";
        ASSERT_EQ(tooLong.size(), 260u);
        EXPECT_FALSE(ExtractCoreProgram("T_r", ResourceBlob { bytes, 1 }, tooLong, path));
        EXPECT_FALSE(ExtractCoreProgram("T_r", ResourceBlob { bytes, 1 }, "/nonexistent-zdl-folder/", path));
    }

    TEST(ExtractCoreProgram, FileOfARunningCoreIsUsedAsItIs)
    {
        const std::string temp = TestFolder("inuse");
        // A real program running from the core's file name.
        std::string path = temp + "/" + CoreProgramFileName("Busy_r");
        std::remove(path.c_str());
        std::string copy = "cp /bin/sleep '" + path + "'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        const std::string original = ReadAll(path);
        ProcessRecord sleeper;
        ASSERT_TRUE(CreateHiddenProcess(QuoteProgramPath(path) + " 5", nullptr, &sleeper));
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let it exec

        const unsigned char other[] = { 'n', 'e', 'w' };
        std::string got;
        EXPECT_TRUE(ExtractCoreProgram("Busy_r", ResourceBlob { other, sizeof other }, temp, got));
        EXPECT_EQ(ReadAll(got), original) << "a held core file is not rewritten";
        KillProcess(sleeper);
        int code = 0;
        EXPECT_TRUE(WaitForProcessExit(sleeper, 5000, &code));
    }
#endif

    TEST(CrtRandom, MatchesTheRuntimeSequence)
    {
        // The first values of the classic run-time generator after srand(1).
        CrtSeed(1);
        const int expected[] = { 41, 18467, 6334, 26500, 19169, 15724, 11478, 29358 };
        for (int e : expected)
            EXPECT_EQ(CrtRandom(), e);
        CrtSeed(0xFFFFFFFFu);
        for (int i = 0; i < 1000; ++i) {
            int r = CrtRandom();
            ASSERT_GE(r, 0);
            ASSERT_LE(r, kCrtRandMax);
        }
    }

    TEST(CrtRandom, StateBelongsToTheThread)
    {
        CrtSeed(1);
        int other = -1;
        std::thread t([&] { other = CrtRandom(); }); // a new thread starts at seed 1
        t.join();
        EXPECT_EQ(other, 41);
        EXPECT_EQ(CrtRandom(), 41);
    }

    TEST(SplitCommandLine, FollowsTheWindowsRunTimeRules)
    {
        struct Case {
            const char* line;
            std::vector<std::string> args;
        } cases[] = {
            { "prog", { "prog" } },
            { "\"C:\\a b\\p.exe\" x", { "C:\\a b\\p.exe", "x" } },
            { "C:\\p\\ -a", { "C:\\p\\", "-a" } }, // no escapes in the program name
            { "p  a\t\tb ", { "p", "a", "b" } },
            { "p \"a b\" c", { "p", "a b", "c" } },
            { "p a\\\\b", { "p", "a\\\\b" } }, // backslashes not before a quote stay
            { "p \"a\\\\\" b", { "p", "a\\", "b" } }, // 2n backslashes + quote
            { "p a\\\"b", { "p", "a\"b" } }, // 2n+1 backslashes + quote
            { "p \"a\"\"b\"", { "p", "a\"b" } }, // "" inside quotes
            { "p \"\"", { "p", "" } },
            { "p -Dir \"D:\\Games\\Zephyra\" -Mode download",
                { "p", "-Dir", "D:\\Games\\Zephyra", "-Mode", "download" } },
            { "p  -InteractivePort 12345", { "p", "-InteractivePort", "12345" } },
            // "乗" (81 5C) before the closing quote: a character, not an escape.
            { "p -Dir \"D:\\\x81\x5c\" -Mode x", { "p", "-Dir", "D:\\\x81\x5c", "-Mode", "x" } },
        };
        for (const Case& c : cases)
            EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
    }

} // namespace
} // namespace zdl
