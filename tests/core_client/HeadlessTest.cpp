// The headless downloader's command line and its terminal line, and the
// GBK to UTF-8 conversion its output goes through.
#include "app/headless/HeadlessDownloader.h"
#include "platform/Console.h"

#include <gtest/gtest.h>

#include <vector>

namespace zdl {
namespace {

    bool Parse(std::vector<const char*> args, HeadlessOptions* options, std::string* error)
    {
        args.insert(args.begin(), "zdl-headless");
        return HeadlessDownloader::ParseArguments(
            static_cast<int>(args.size()), const_cast<char**>(args.data()), options, error);
    }

    TEST(HeadlessArguments, ReadsFolderLimitsAndTimings)
    {
        HeadlessOptions o;
        std::string error;
        ASSERT_TRUE(Parse({ "D:\\Games\\Zephyra", "--down", "512.5", "--up", "64", "--stall-ms", "2000",
                              "--end-stall-ms", "1000", "--max-seconds", "30", "--log", "--source", "http://h/x.data" },
            &o, &error))
            << error;
        EXPECT_EQ(o.installDir, "D:\\Games\\Zephyra");
        EXPECT_FLOAT_EQ(o.maxDownloadSpeed, 512.5f);
        EXPECT_FLOAT_EQ(o.maxUploadSpeed, 64);
        EXPECT_EQ(o.timings.stallMs, 2000u);
        EXPECT_EQ(o.timings.endStallMs, 1000u);
        EXPECT_EQ(o.maxSeconds, 30u);
        EXPECT_TRUE(o.lineMode);
        EXPECT_EQ(o.sourceUrl, "http://h/x.data");
    }

    TEST(HeadlessArguments, RejectsWhatItCannotUse)
    {
        const std::vector<std::vector<const char*>> bad = {
            {},
            { "dir", "--down" },
            { "dir", "--down", "fast" },
            { "dir", "--stall-ms", "-5" },
            { "dir", "--stall-ms", "1e12" },
            { "dir", "--max-seconds", "10s" },
            { "dir", "--unknown", "1" },
        };
        for (const auto& args : bad) {
            HeadlessOptions o;
            std::string error;
            EXPECT_FALSE(Parse(args, &o, &error)) << (args.empty() ? "(none)" : args.back());
            EXPECT_FALSE(error.empty());
        }
    }

    TEST(HeadlessLine, BarFollowsThePercent)
    {
        CoreStatus s;
        s.p2pState = 14;
        TickOutcome o;
        o.statusText = "\xd5\xfd\xd4\xda"; // "正在" in GBK
        EXPECT_EQ(HeadlessDownloader::RenderLine(-1, s, o, true),
            "[..............................]  --% state=14  \xe6\xad\xa3\xe5\x9c\xa8");
        EXPECT_EQ(HeadlessDownloader::RenderLine(50, s, TickOutcome(), true),
            "[###############...............]  50% state=14");
        EXPECT_EQ(HeadlessDownloader::RenderLine(100, s, TickOutcome(), true),
            "[##############################] 100% state=14");
        // The terminal form draws blocks and leaves the state out.
        const std::string full = HeadlessDownloader::RenderLine(100, s, TickOutcome(), false);
        EXPECT_EQ(full.find("state"), std::string::npos);
        EXPECT_NE(full.find("\xe2\x96\x88"), std::string::npos);
    }

    TEST(GbkToUtf8, ConvertsTextAndMarksBrokenBytes)
    {
        EXPECT_EQ(GbkToUtf8(""), "");
        EXPECT_EQ(GbkToUtf8("abc"), "abc");
        // "下载完成"
        EXPECT_EQ(GbkToUtf8("\xcf\xc2\xd4\xd8\xcd\xea\xb3\xc9"), "\xe4\xb8\x8b\xe8\xbd\xbd\xe5\xae\x8c\xe6\x88\x90");
        // A lead byte cut off at the end does not swallow the text before it.
        const std::string cut = GbkToUtf8("ok\xcf");
        EXPECT_EQ(cut.substr(0, 2), "ok");
    }

} // namespace
} // namespace zdl
