// The download page's texts and decisions per tick: time left, size and
// speed, the percent display, the 10-tick averages, the stall watch with
// short timings, thread halving, and the phases other than downloading.
#include "app/DownloadProgress.h"

#include <gtest/gtest.h>

namespace zdl {
namespace {

    // GBK texts the page shows.
    const std::string kUnknown = "\xd4\xa4\xbc\xc6\xbb\xb9\xd0\xe8\xca\xb1\xbc\xe4\xb2\xbb\xc8\xb7\xb6\xa8";
    std::string Left(const char* tail) // "预计还需 " + tail
    {
        return std::string("\xd4\xa4\xbc\xc6\xbb\xb9\xd0\xe8 ") + tail;
    }
    const std::string kHour = "\xd0\xa1\xca\xb1"; // 小时
    const std::string kMinute = "\xb7\xd6"; // 分

    TEST(RemainingTimeText, Boundaries)
    {
        struct Case {
            float speed;
            uint64_t bytes;
            std::string text;
        } cases[] = {
            { 0.1f, 1000000, kUnknown },
            { 0.0f, 0, kUnknown },
            { -5.0f, 10, kUnknown },
            { 100.0f, 100ull * 1000 * 59, Left("0") + kMinute }, // 59 s
            { 100.0f, 100ull * 1000 * 5400, Left("1") + kHour + "30" + kMinute }, // 90 min
            { 100.0f, 100ull * 1000 * 3600 * 99 + 100ull * 1000 * 3599, Left("99") + kHour + "59" + kMinute },
            { 100.0f, 100ull * 1000 * 3600 * 100, kUnknown }, // 100 hours
            { 100.0f, 100ull * 1000 * 3600 * 192, kUnknown }, // 8 days
            { 0.2f, 18446744073709551615ull, kUnknown },
        };
        for (const Case& c : cases)
            EXPECT_EQ(RemainingTimeText(c.speed, c.bytes), c.text) << c.speed << " KB/s, " << c.bytes << " bytes";
    }

    TEST(SizeAndSpeedText, UnitsAndExample)
    {
        const std::string size = "\xce\xc4\xbc\xfe\xb4\xf3\xd0\xa1\xa3\xba"; // 文件大小：
        const std::string speed = "  \xcf\xc2\xd4\xd8\xcb\xd9\xb6\xc8\xa3\xba"; // two blanks, 下载速度：
        EXPECT_EQ(SizeAndSpeedText(2ull << 30, 25, 2048), size + "0.5G/2.0G" + speed + "2.0MB/s");
        EXPECT_EQ(SizeAndSpeedText(2ull << 30, 25, 1024), size + "0.5G/2.0G" + speed + "1024.0KB/s");
        EXPECT_EQ(SizeAndSpeedText(0, 0, 0), size + "0.0G/0.0G" + speed + "0.0KB/s");
        EXPECT_EQ(SizeAndSpeedText(1ull << 30, 100, 1024.0f * 1536), size + "1.0G/1.0G" + speed + "1.5GB/s");
        EXPECT_EQ(SizeAndSpeedText(1ull << 30, 100, 1024.0f * 1024 * 1536), size + "1.0G/1.0G" + speed + "1.5TB/s");
        // T is the largest unit: the number grows rather than running off the list.
        EXPECT_EQ(SizeAndSpeedText(1ull << 30, 100, 3e12f), size + "1.0G/1.0G" + speed + "2794.0TB/s");
    }

    TEST(StatusTextForState, PhasesWithoutTextClearTheLine)
    {
        for (int s : { 1, 2, 9, -1, 18, 1000 })
            EXPECT_EQ(StatusTextForState(s), nullptr) << s;
        EXPECT_STREQ(StatusTextForState(0), "\xb3\xcc\xd0\xf2\xb3\xf5\xca\xbc\xbb\xaf");
        EXPECT_STREQ(StatusTextForState(17), kTextReconnecting);
        EXPECT_STREQ(StatusTextForState(15), kTextDownloadDone);
    }

    TEST(PercentDisplay, DigitsAndHead)
    {
        struct Case {
            int p, hundreds, tens, ones;
        } cases[] = {
            { -1, -1, -1, -1 },
            { 0, -1, -1, 0 },
            { 5, -1, -1, 5 },
            { 10, -1, 1, 0 },
            { 99, -1, 9, 9 },
            { 100, 1, 0, 0 },
            { 105, 1, 0, 5 },
        };
        for (const Case& c : cases) {
            PercentDigits d = DigitsForPercent(c.p);
            EXPECT_EQ(d.hundreds, c.hundreds) << c.p;
            EXPECT_EQ(d.tens, c.tens) << c.p;
            EXPECT_EQ(d.ones, c.ones) << c.p;
        }
        EXPECT_EQ(ProgressHeadX(5), 131);
        EXPECT_EQ(ProgressHeadX(0), 100);
        EXPECT_EQ(ProgressHeadX(99), 731);
    }

    TEST(SpeedAverage, ClimbsOverTenTicksThenSlides)
    {
        SpeedAverage a;
        a.Add(800);
        EXPECT_FLOAT_EQ(a.Mean(), 80);
        for (int i = 0; i < 9; ++i)
            a.Add(800);
        EXPECT_FLOAT_EQ(a.Mean(), 800);
        a.Add(0);
        EXPECT_FLOAT_EQ(a.Mean(), 720);
    }

    CoreStatus Downloading(float percent, float speed = 100, uint64_t incomplete = 1000000)
    {
        CoreStatus s;
        s.p2pState = kStateDownloading;
        s.percentage = percent;
        s.downloadBandWidth = speed;
        s.uploadBandWidth = speed / 2;
        s.incompleteByte = incomplete;
        s.totalByte = 2ull << 30;
        return s;
    }

    TEST(DownloadProgress, FirstTickUsesTheClimbingAverage)
    {
        DownloadProgress p;
        // 800 KB/s on the first tick averages to 80 KB/s: 90 minutes for
        // 80 * 1000 * 5400 bytes, not 9.
        TickOutcome o = p.Tick(Downloading(10, 800, 80ull * 1000 * 5400), 1000);
        EXPECT_EQ(o.statusText, Left("1") + kHour + "30" + kMinute);
        EXPECT_FLOAT_EQ(p.AverageDownloadSpeed(), 80);
        EXPECT_FLOAT_EQ(p.AverageUploadSpeed(), 40);
        EXPECT_TRUE(o.percentShown);
        EXPECT_FLOAT_EQ(o.percent, 10);
        EXPECT_EQ(o.action, ProgressAction::kNone);
    }

    TEST(DownloadProgress, StallRestartsWithHalvedThreads)
    {
        StallTimings t;
        t.stallMs = 1000;
        t.endStallMs = 500;
        DownloadProgress p(t);
        uint32_t now = 5000;
        int expectedThreads[] = { 2, 1, 1 };
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(p.Tick(Downloading(50.0f + round), now).action, ProgressAction::kNone); // progress
            EXPECT_EQ(p.Tick(Downloading(50.0f + round), now += 100).action, ProgressAction::kNone); // watch starts
            EXPECT_EQ(p.Tick(Downloading(50.0f + round), now += 999).action, ProgressAction::kNone);
            TickOutcome o = p.Tick(Downloading(50.0f + round), now += 1);
            ASSERT_EQ(o.action, ProgressAction::kRestartAfterStall) << round;
            EXPECT_EQ(o.restartThreads, expectedThreads[round]);
            EXPECT_EQ(o.statusText, kTextReconnecting);
            EXPECT_EQ(o.infoText, "");
            EXPECT_EQ(p.AverageDownloadSpeed(), 0);
            now += 1000;
        }
        EXPECT_EQ(p.HttpThreadCount(), 1);
    }

    TEST(DownloadProgress, ProgressResetsTheStallWatch)
    {
        StallTimings t;
        t.stallMs = 1000;
        DownloadProgress p(t);
        uint32_t now = 1; // also checks that an early tick count works
        float percent = 1;
        for (int i = 0; i < 50; ++i) {
            TickOutcome o = p.Tick(Downloading(percent), now);
            EXPECT_EQ(o.action, ProgressAction::kNone) << i;
            now += 900;
            if (i % 2)
                percent += 0.5f;
        }
    }

    TEST(DownloadProgress, NearTheEndRestartsSoonerWithFourThreads)
    {
        StallTimings t;
        t.stallMs = 100000;
        t.endStallMs = 500;
        DownloadProgress p(t);
        // The end watch starts on the tick that first sees the percentage.
        EXPECT_EQ(p.Tick(Downloading(99.5f), 1000).action, ProgressAction::kNone);
        EXPECT_EQ(p.Tick(Downloading(99.5f), 1100).action, ProgressAction::kNone);
        EXPECT_EQ(p.Tick(Downloading(99.5f), 1499).action, ProgressAction::kNone);
        TickOutcome o = p.Tick(Downloading(99.5f), 1500);
        EXPECT_EQ(o.action, ProgressAction::kRestartNearEnd);
        EXPECT_EQ(o.restartThreads, 4);
        // 99 % exactly is not "above 99".
        DownloadProgress q(t);
        q.Tick(Downloading(99), 1000);
        q.Tick(Downloading(99), 1100);
        EXPECT_EQ(q.Tick(Downloading(99), 5000).action, ProgressAction::kNone);
    }

    TEST(DownloadProgress, DiskFullNoticeOncePerEpisode)
    {
        DownloadProgress p;
        CoreStatus full = Downloading(20);
        full.errorKind = kErrorDiskFull;
        TickOutcome o = p.Tick(full, 1000);
        EXPECT_TRUE(o.showDiskFullNotice);
        EXPECT_EQ(o.statusText, kTextDiskFull);
        EXPECT_EQ(o.infoText, "");
        o = p.Tick(full, 2000);
        EXPECT_FALSE(o.showDiskFullNotice);
        EXPECT_EQ(o.statusText, kTextDiskFull);
        p.Tick(Downloading(21), 3000); // space freed: the episode ends
        EXPECT_TRUE(p.Tick(full, 4000).showDiskFullNotice);
    }

    TEST(DownloadProgress, OtherPhases)
    {
        DownloadProgress p;
        CoreStatus s;
        s.p2pState = kStateDownloadCompleted;
        s.percentage = 42;
        TickOutcome o = p.Tick(s, 1000);
        EXPECT_EQ(o.statusText, kTextDownloadDone);
        EXPECT_TRUE(o.percentShown);
        EXPECT_FLOAT_EQ(o.percent, 100);
        EXPECT_EQ(o.action, ProgressAction::kNone) << "no file name: keep polling";
        s.fileName = "zpc.exe";
        EXPECT_EQ(p.Tick(s, 2000).action, ProgressAction::kCompleted);

        s = CoreStatus();
        s.p2pState = kStateAllFileCheckMd5;
        s.verifyPercentage = 0.375f;
        o = p.Tick(s, 3000);
        EXPECT_FLOAT_EQ(o.percent, 37.5f);
        EXPECT_STREQ(o.statusText.c_str(), StatusTextForState(12));

        s = CoreStatus();
        s.p2pState = kStateCreateFile;
        s.errorKind = kErrorWriteFile;
        EXPECT_EQ(p.Tick(s, 4000).statusText, kTextCreateFileError);
        s.errorKind = kErrorDiskFull;
        EXPECT_STREQ(p.Tick(s, 5000).statusText.c_str(), StatusTextForState(11));

        s = CoreStatus();
        s.p2pState = 9;
        o = p.Tick(s, 6000);
        EXPECT_EQ(o.statusText, "");
        EXPECT_FALSE(o.percentShown);

        p.Tick(Downloading(10, 500), 7000);
        EXPECT_GT(p.AverageDownloadSpeed(), 0);
        s.p2pState = kStateQuit;
        o = p.Tick(s, 8000);
        EXPECT_EQ(o.action, ProgressAction::kRestartAfterQuit);
        EXPECT_EQ(o.restartThreads, 4);
        EXPECT_EQ(o.statusText, kTextReconnecting);
        EXPECT_EQ(p.AverageDownloadSpeed(), 0);
    }

    TEST(ServerTroubleText, WordCodeAndPhaseChooseTheText)
    {
        struct Case {
            int32_t phase;
            int32_t kind;
            int32_t code;
            bool busy;
            const char* text; // null: no trouble to tell
        } cases[] = {
            { kStateDownloading, kErrorNone, 0, false, nullptr },
            { kStateDownloading, kErrorNone, 404, false, nullptr }, // a code left from a cleared error
            { kStateDownloading, kErrorDiskFull, 0, false, nullptr },
            { kStateCreateFile, kErrorWriteFile, 5, false, nullptr },
            { kStateIniting, kErrorOpenFile, 32, false, nullptr },
            { kStateDownloading, kErrorNone, 0, true, kTextServerBusy },
            { kStateDownloading, kErrorDownloadSeed, 404, true, kTextServerBusy },
            { kStateDownloading, kErrorDownloadSeed, 503, false, kTextServerBusy },
            { kStateDownloadSeedFileFail, kErrorDownloadSeed, 429, false, kTextServerBusy },
            { kStateDownloading, kErrorDownloadSeed, 404, false, kTextServerFilesMissing },
            { kStateDownloading, kErrorDownloadSeed, 410, false, kTextServerFilesMissing },
            { kStateDownloadSeedFileFail, kErrorDownloadSeed, 404, false, kTextServerNoDescription },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, 404, false, kTextServerNoDescription },
            { kStateDownloading, kErrorDownloadSeed, kCodeHashMismatch, false, kTextServerFilesDamaged },
            { kStateDownloadSeedFileFail, kErrorDownloadSeed, kCodeHashMismatch, false, kTextServerBadDescription },
            { kStateDownloadSeedFileFail, kErrorReadSeed, 0, false, kTextServerBadDescription },
            { kStateDownloadSeedFileFail, kErrorReadSeed, 404, false, kTextServerBadDescription },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeBadDescription, false, kTextServerBadDescription },
            { kStateDownloading, kErrorDownloadSeed, kCodeShortBody, false, kTextServerCutOff },
            { kStateDownloading, kErrorDownloadSeed, kCodeTimeout, false, kTextServerTimeout },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeNoConnection, false, kTextServerUnreachable },
            { kStateDownloading, kErrorDownloadSeed, kCodeReleaseChanged, false, kTextServerReleaseChanged },
            { kStateDownloading, kErrorDownloadSeed, 400, false, kTextServerRefused },
            { kStateDownloading, kErrorDownloadSeed, 403, false, kTextServerRefused },
            { kStateDownloadSeedFileFail, kErrorDownloadSeed, 599, false, kTextServerRefused },
            { kStateDownloading, kErrorDownloadSeed, 600, false, kTextServerTrouble },
            { kStateDownloading, kErrorDownloadSeed, 399, false, kTextServerTrouble },
            { kStateDownloading, kErrorDownloadSeed, 206, false, kTextServerTrouble },
            { kStateDownloading, kErrorDownloadSeed, 0, false, kTextServerTrouble },
            { kStateDownloading, kErrorDownloadSeed, 1010, false, kTextServerTrouble },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeNoSignature, false, kTextReleaseUnsigned },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeMalformedSignature, false, kTextReleaseBadSignature },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeBadSignature, false, kTextReleaseBadSignature },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeNoSignedTime, false, kTextReleaseBadSignature },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeUnknownKey, false, kTextReleaseOtherKey },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeOlderRelease, false, kTextReleaseOlder },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, 1016, false, kTextServerTrouble },
            { kStateGetSeedMd5Fail, kErrorDownloadTorrent, kCodeBadSignature, true, kTextServerBusy },
            { kStateDownloading, kErrorDownloadSeed, -1, false, kTextServerTrouble },
        };
        for (const Case& c : cases) {
            CoreStatus s;
            s.p2pState = c.phase;
            s.errorKind = c.kind;
            s.errorCode = c.code;
            s.serverBusy = c.busy;
            const char* text = ServerTroubleText(s);
            if (c.text)
                EXPECT_STREQ(text, c.text) << c.phase << " " << c.kind << " " << c.code << " " << c.busy;
            else
                EXPECT_EQ(text, nullptr) << c.phase << " " << c.kind << " " << c.code << " " << c.busy;
        }
    }

    // The line tells a trouble once it has lasted the grace period, and only
    // while it lasts; passing troubles never reach it.
    TEST(DownloadProgress, LastingServerTroubleTakesTheStatusLine)
    {
        StallTimings t;
        t.stallMs = 100000000; // no stall restarts in this test
        DownloadProgress p(t);
        CoreStatus missing = Downloading(30, 500);
        missing.errorKind = kErrorDownloadSeed;
        missing.errorCode = 404;
        const std::string timeLeft = p.Tick(Downloading(30, 500), 1000).statusText;
        ASSERT_NE(timeLeft, kTextServerFilesMissing);

        // Shorter than the grace: the normal texts only.
        EXPECT_NE(p.Tick(missing, 2000).statusText, kTextServerFilesMissing); // the episode starts
        EXPECT_NE(p.Tick(missing, 11999).statusText, kTextServerFilesMissing);
        EXPECT_NE(p.Tick(Downloading(30, 500), 13000).statusText, kTextServerFilesMissing); // cleared
        EXPECT_NE(p.Tick(missing, 14000).statusText, kTextServerFilesMissing); // a new episode
        EXPECT_NE(p.Tick(missing, 23999).statusText, kTextServerFilesMissing);

        // Lasting: the line says so; the info line keeps size and speed.
        TickOutcome o = p.Tick(missing, 24000);
        EXPECT_EQ(o.statusText, kTextServerFilesMissing);
        EXPECT_NE(o.infoText, "");
        EXPECT_EQ(o.action, ProgressAction::kNone);
        // A change of cause within the episode shows the new cause at once.
        CoreStatus timedOut = missing;
        timedOut.errorCode = kCodeTimeout;
        EXPECT_EQ(p.Tick(timedOut, 25000).statusText, kTextServerTimeout);

        // The first tick without it brings the normal texts back.
        o = p.Tick(Downloading(30, 500), 26000);
        EXPECT_NE(o.statusText, kTextServerTimeout);
        EXPECT_EQ(o.statusText.rfind(Left(""), 0), 0u) << "time left";
        EXPECT_NE(p.Tick(missing, 27000).statusText, kTextServerFilesMissing);
    }

    TEST(DownloadProgress, LastingTroubleLeavesDiskFullAndCompletionTheirTexts)
    {
        DownloadProgress p;
        CoreStatus busyFull = Downloading(20);
        busyFull.serverBusy = true;
        busyFull.errorKind = kErrorDiskFull;
        p.Tick(busyFull, 1000);
        TickOutcome o = p.Tick(busyFull, 60000);
        EXPECT_EQ(o.statusText, kTextDiskFull);

        CoreStatus busyDone;
        busyDone.p2pState = kStateDownloadCompleted;
        busyDone.serverBusy = true;
        p.Tick(busyDone, 61000);
        EXPECT_EQ(p.Tick(busyDone, 90000).statusText, kTextDownloadDone);

        // Before the download: the description cannot be fetched, in any phase.
        CoreStatus noDescription;
        noDescription.p2pState = kStateDownloadSeedFileFail;
        noDescription.errorKind = kErrorDownloadSeed;
        noDescription.errorCode = kCodeNoConnection;
        p.Tick(noDescription, 100000);
        noDescription.p2pState = kStateDownloadSeedFile; // the core tries again
        EXPECT_EQ(p.Tick(noDescription, 110000).statusText, kTextServerUnreachable);
    }

} // namespace
} // namespace zdl
