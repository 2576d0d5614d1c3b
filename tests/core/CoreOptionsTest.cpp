#include "core/CoreOptions.h"
#include "core_client/CoreLaunch.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

using namespace zdl::core;

namespace {

std::vector<std::string> InstallerLine()
{
    return { "-Dir", "D:\\Games\\Zephyra", "-HttpUrl", "http://127.0.0.1:8089", "-Torrent",
        "zphdownload_setup.exe.data", "-Mode", "download", "-HttpThread", "4", "-P2PUploadThread", "6",
        "-P2PUploadListSize", "12", "-DownloadLimit", "10000", "-UploadLimit", "10000", "-DeleteDownloadInfo",
        "-InteractivePort", "23456" };
}

TEST(CoreOptions, ParsesTheInstallersCommandLine)
{
    CoreOptions o;
    std::string error;
    ASSERT_TRUE(ParseCoreOptions(InstallerLine(), &o, &error)) << error;
    EXPECT_EQ(o.dir, "D:\\Games\\Zephyra");
    EXPECT_EQ(o.httpUrl, "http://127.0.0.1:8089");
    EXPECT_EQ(o.torrent, "zphdownload_setup.exe.data");
    EXPECT_EQ(o.mode, "download");
    EXPECT_EQ(o.httpThreads, 4);
    EXPECT_EQ(o.p2pUploadThreads, 6);
    EXPECT_EQ(o.p2pUploadListSize, 12);
    EXPECT_EQ(o.downloadLimitKBps, 10000);
    EXPECT_EQ(o.uploadLimitKBps, 10000);
    EXPECT_TRUE(o.deleteDownloadInfo);
    EXPECT_EQ(o.interactivePort, 23456);
}

TEST(CoreOptions, AcceptsDriveRootQuotedFolderAndNoFlag)
{
    std::vector<std::string> args
        = { "-Dir", "\"D:\"", "-HttpUrl", "https://cdn.example.com/zephyra/", "-Torrent", "x.data" };
    CoreOptions o;
    std::string error;
    ASSERT_TRUE(ParseCoreOptions(args, &o, &error)) << error;
    EXPECT_EQ(o.dir, "D:");
    EXPECT_EQ(o.httpUrl, "https://cdn.example.com/zephyra");
    EXPECT_FALSE(o.deleteDownloadInfo);
    EXPECT_EQ(o.interactivePort, 0);
    EXPECT_EQ(o.downloadLimitKBps, 0);
}

TEST(CoreOptions, TrailingSeparatorsGoButNotHalfACharacter)
{
    struct Case {
        const char* given;
        const char* expected;
    } cases[] = {
        { "D:\\Games\\Zephyra\\\\", "D:\\Games\\Zephyra" },
        { "/home/p/game/", "/home/p/game" },
        { "D:\\", "D:\\" },
        { "D:\\\x95\x5c", "D:\\\x95\x5c" }, // ends in a character whose second byte is 0x5C
        { "D:\\\x95\x5c\\", "D:\\\x95\x5c" },
    };
    for (const Case& c : cases) {
        CoreOptions o;
        std::string error;
        ASSERT_TRUE(ParseCoreOptions({ "-Dir", c.given, "-HttpUrl", "http://h", "-Torrent", "t" }, &o, &error))
            << error;
        EXPECT_EQ(o.dir, c.expected) << c.given;
    }
}

TEST(CoreOptions, NegativeLimitMeansUnlimited)
{
    auto args = InstallerLine();
    args[15] = "-1";
    CoreOptions o;
    std::string error;
    ASSERT_TRUE(ParseCoreOptions(args, &o, &error)) << error;
    EXPECT_EQ(o.downloadLimitKBps, 0);
}

TEST(CoreOptions, RejectsBadCommandLines)
{
    struct Case {
        int index; // argument to replace (-1: append)
        const char* value;
        const char* message; // part of the error
    } cases[] = {
        { -1, "-Bogus", "unknown option -Bogus" },
        { 9, "0", "bad value \"0\" for option -HttpThread" },
        { 9, "33", "option -HttpThread" },
        { 9, "4x", "option -HttpThread" },
        { 9, "", "option -HttpThread" },
        { 15, "-2", "option -DownloadLimit" },
        { 15, "99999999999999", "option -DownloadLimit" },
        { 15, "2147483648", "option -DownloadLimit" },
        { 20, "70000", "option -InteractivePort" },
        { 20, "0", "option -InteractivePort" },
        { 7, "upload", "option -Mode" },
        { 3, "ftp://host", "option -HttpUrl" },
        { 3, "http://", "option -HttpUrl" },
        { 3, "http://a b", "option -HttpUrl" },
        { 3, "http://a;ftp://b", "option -HttpUrl" }, // one bad mirror spoils the list
        { 3, "http://a;/", "option -HttpUrl" },
        { 3, ";;", "option -HttpUrl" },
        { 5, "../x.data", "option -Torrent" },
        { 5, "a\\b", "option -Torrent" },
        { 1, "", "option -Dir" },
        { 1,
            "D:\\ggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggg"
            "gggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggggg"
            "gggggggggggggggggggggggggggggggggggggggggggggggggggggggggggg",
            "option -Dir" }, // 260 bytes
        { 0, "Dir", "unexpected argument" },
        { -1, "-HttpThread", "given twice" },
    };
    for (const Case& c : cases) {
        auto args = InstallerLine();
        if (c.index < 0) {
            args.push_back(c.value);
            if (std::string(c.value) == "-HttpThread")
                args.push_back("2");
        } else {
            args[static_cast<size_t>(c.index)] = c.value;
        }
        CoreOptions o;
        std::string error;
        EXPECT_FALSE(ParseCoreOptions(args, &o, &error)) << c.value;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.value << " gave: " << error;
    }
}

// A test's trusted key: a minisign key line or nothing (a typo must not
// leave a test believing it checks signatures).
TEST(CoreOptions, TrustedKeyIsAKeyLine)
{
    const std::string key = "RWRTLyovPEfRKm4zF7iSn716/qJaqSULQr7KFFNRSOK+/bqAF4vwolbk";
    for (const std::string& value : { key, key.substr(1), key + "A", std::string("x") }) {
        auto args = InstallerLine();
        args.push_back("-TrustedKey");
        args.push_back(value);
        CoreOptions o;
        std::string error;
        EXPECT_EQ(ParseCoreOptions(args, &o, &error), value == key) << value << ": " << error;
        if (value == key) {
            EXPECT_EQ(o.trustedKey, key);
        } else {
            EXPECT_NE(error.find("option -TrustedKey"), std::string::npos) << error;
        }
    }
}

// Sharing is on unless switched off; the pinned address must be one the
// peer server may listen on (never every interface or a public address).
TEST(CoreOptions, SharingSwitchAndPinnedInterface)
{
    CoreOptions plain;
    std::string error;
    ASSERT_TRUE(ParseCoreOptions(InstallerLine(), &plain, &error)) << error;
    EXPECT_TRUE(plain.p2pShare);
    EXPECT_TRUE(plain.p2pInterface.empty());
    struct Case {
        const char* option;
        const char* value;
        bool ok;
    };
    for (const Case& c :
        { Case { "-P2PShare", "0", true }, Case { "-P2PShare", "1", true }, Case { "-P2PShare", "2", false },
            Case { "-P2PShare", "", false }, Case { "-P2PInterface", "127.0.0.1", true },
            Case { "-P2PInterface", "192.168.1.20", true }, Case { "-P2PInterface", "0.0.0.0", false },
            Case { "-P2PInterface", "8.8.8.8", false }, Case { "-P2PInterface", "192.168.1", false },
            Case { "-P2PDiscoveryPort", "18577", true }, Case { "-P2PDiscoveryPort", "0", false } }) {
        auto args = InstallerLine();
        args.push_back(c.option);
        args.push_back(c.value);
        CoreOptions o;
        EXPECT_EQ(ParseCoreOptions(args, &o, &error), c.ok) << c.option << " " << c.value << ": " << error;
        if (c.ok && std::string(c.option) == "-P2PShare") {
            EXPECT_EQ(o.p2pShare, std::string(c.value) == "1");
        }
    }
}

// What the installer's own builder writes, at the ends of what it can send,
// split as the system splits a command line, must start a core.
TEST(CoreOptions, TakesEveryCommandLineTheInstallerBuilds)
{
    // A 259-byte folder ending in "乗" (81 5C), given with a separator.
    const std::string longDir = "D:\\" + std::string(254, 'g') + "\x81\x5c";
    ASSERT_EQ(longDir.size(), kMaxDirBytes);
    struct Case {
        float pageLimit;
        int parsedKBps;
    } cases[] = {
        { 1e20f, 0 }, // the builder's 2147483647: unlimited
        { float(kUnlimitedAboveKBps), kUnlimitedAboveKBps },
        { -1, 10000 }, // the page's unlimited is the default limit
        { 0.5f, 0 },
    };
    for (const Case& c : cases) {
        zdl::CoreLaunchSettings s;
        s.sourceUrl = "https://cdn.example.com/zephyra/zphdownload_setup.exe.data";
        s.installDir = longDir + "\\";
        s.mode = "download";
        s.httpThreads = 4;
        s.downloadLimit = zdl::CoreSpeedLimit(c.pageLimit);
        s.uploadLimit = zdl::CoreSpeedLimit(c.pageLimit);
        std::string line;
        ASSERT_TRUE(zdl::BuildCoreArguments(s, line));
        line = zdl::QuoteProgramPath("C:\\Temp\\core.exe") + " " + line + " -InteractivePort 23456";
        std::vector<std::string> argv = zdl::SplitCommandLine(line);
        CoreOptions o;
        std::string error;
        ASSERT_TRUE(ParseCoreOptions({ argv.begin() + 1, argv.end() }, &o, &error)) << error << "\n" << line;
        EXPECT_EQ(o.dir, longDir);
        EXPECT_EQ(o.downloadLimitKBps, c.parsedKBps) << c.pageLimit;
        EXPECT_EQ(o.uploadLimitKBps, c.parsedKBps) << c.pageLimit;
        EXPECT_EQ(o.httpUrl, "https://cdn.example.com/zephyra");
    }
}

// Several mirrors in one "-HttpUrl": split at ";", each without its
// trailing slash, repeated ones and empty parts dropped, order kept.
TEST(CoreOptions, SplitsMirrorList)
{
    CoreOptions o;
    std::string error;
    ASSERT_TRUE(ParseCoreOptions(
        { "-Dir", "x", "-HttpUrl", "http://b.example/z/;https://a.example;http://b.example/z;", "-Torrent", "t" }, &o,
        &error))
        << error;
    EXPECT_EQ(o.httpUrls, (std::vector<std::string> { "http://b.example/z", "https://a.example" }));
    EXPECT_EQ(o.httpUrl, "http://b.example/z");
    std::string many;
    for (size_t i = 0; i <= kMaxMirrors; ++i)
        many += "http://m" + std::to_string(i) + ";";
    EXPECT_FALSE(ParseCoreOptions({ "-Dir", "x", "-HttpUrl", many, "-Torrent", "t" }, &o, &error));
}

TEST(CoreOptions, MissingValueAndMissingRequiredOption)
{
    CoreOptions o;
    std::string error;
    EXPECT_FALSE(ParseCoreOptions({ "-Dir" }, &o, &error));
    EXPECT_EQ(error, "option -Dir needs a value");
    EXPECT_FALSE(ParseCoreOptions({ "-Dir", "x", "-HttpUrl", "http://h" }, &o, &error));
    EXPECT_EQ(error, "missing option -Torrent");
}

} // namespace
