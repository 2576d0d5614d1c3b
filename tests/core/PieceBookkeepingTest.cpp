#include "core/CommandChannel.h"
#include "core/FileRetryBook.h"
#include "core/PieceTracker.h"
#include "core/RateLimiter.h"
#include "core/ResumeState.h"
#include "core/StatusBoard.h"

#include <gtest/gtest.h>

using namespace zdl;
using namespace zdl::core;

namespace {

TEST(PieceTracker, TakesInOrderRetriesReleasedFirstAndCounts)
{
    PieceTracker t({ 10, 10, 5 });
    EXPECT_EQ(t.TotalBytes(), 25u);
    t.MarkDone(1); // known good from the local check
    uint32_t p = 99;
    ASSERT_TRUE(t.TakeNext(&p));
    EXPECT_EQ(p, 0u);
    ASSERT_TRUE(t.TakeNext(&p));
    EXPECT_EQ(p, 2u);
    EXPECT_FALSE(t.TakeNext(&p));
    EXPECT_EQ(t.InFlightPieces(), 2u);
    t.Release(0);
    ASSERT_TRUE(t.TakeNext(&p));
    EXPECT_EQ(p, 0u);
    t.MarkDone(0);
    t.MarkDone(0); // twice counts once
    EXPECT_EQ(t.DoneBytes(), 20u);
    EXPECT_FALSE(t.Complete());
    t.MarkDone(2);
    EXPECT_TRUE(t.Complete());
    EXPECT_EQ(t.DoneBytes(), 25u);
    EXPECT_EQ(t.InFlightPieces(), 0u);
}

TEST(FileRetryBook, FailingFileWaitsProbesOnceAndLetsGoOnSuccess)
{
    using Clock = FileRetryBook::Clock;
    FileRetryBook book;
    Clock::time_point t0 = Clock::now();
    EXPECT_FALSE(book.ParkIfWaiting(7, 70, t0)); // not failing: no wait
    EXPECT_EQ(book.Failed(7, 70, 404, t0), 1);
    EXPECT_TRUE(book.ParkIfWaiting(7, 71, t0)); // waits its backoff
    std::vector<uint32_t> due;
    book.TakeDue(t0, &due);
    EXPECT_TRUE(due.empty());
    Clock::time_point later = t0 + std::chrono::milliseconds(FileRetryBook::BackoffMs(1));
    book.TakeDue(later, &due);
    EXPECT_EQ(due, (std::vector<uint32_t> { 70, 71 }));
    EXPECT_FALSE(book.ParkIfWaiting(7, 70, later)); // the probe
    EXPECT_TRUE(book.ParkIfWaiting(7, 71, later)); // waits for the probe
    EXPECT_EQ(book.Failed(7, 70, 503, later), 2);
    EXPECT_GT(FileRetryBook::BackoffMs(2), FileRetryBook::BackoffMs(1));
    EXPECT_EQ(FileRetryBook::BackoffMs(40), kMaxFileBackoffMs);
    uint32_t file = 0;
    int failures = 0;
    long status = 0;
    ASSERT_TRUE(book.Worst(&file, &failures, &status));
    EXPECT_EQ(file, 7u);
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(status, 503);
    due.clear();
    EXPECT_TRUE(book.Succeeded(7, &due));
    EXPECT_EQ(due, (std::vector<uint32_t> { 71, 70 }));
    EXPECT_FALSE(book.Worst(&file, &failures, &status));
    EXPECT_FALSE(book.Succeeded(7, &due));
}

TEST(ResumeState, RoundTripAndDamage)
{
    ResumeState s;
    s.description = Sha256::Of("x", 1);
    s.good = { true, false, true, true, false, false, true, false, true, true, false };
    s.recheck = { false, false, true, false, false, false, false, false, false, true, false };
    std::string bytes = EncodeResumeState(s);
    ResumeState back;
    ASSERT_TRUE(DecodeResumeState(bytes, 11, &back));
    EXPECT_EQ(back.good, s.good);
    EXPECT_EQ(back.recheck, s.recheck);
    EXPECT_EQ(back.description, s.description);

    EXPECT_FALSE(DecodeResumeState(bytes, 12, &back)); // other description
    EXPECT_FALSE(DecodeResumeState(bytes.substr(0, bytes.size() - 1), 11, &back)); // truncated
    EXPECT_FALSE(DecodeResumeState(std::string(bytes.size(), '\0'), 11, &back)); // zeroed
    EXPECT_FALSE(DecodeResumeState("", 11, &back));
    for (size_t i = 0; i < bytes.size(); ++i) { // any flipped bit is caught
        std::string damaged = bytes;
        damaged[i] = static_cast<char>(damaged[i] ^ 0x10);
        EXPECT_FALSE(DecodeResumeState(damaged, 11, &back)) << i;
    }
}

TEST(RateLimiter, HoldsTheRateOverAWindow)
{
    const uint64_t rate = 1000 * 1024; // bytes per second
    RateLimiter limiter(rate);
    const uint64_t chunk = 16 * 1024;
    uint64_t now = 0, taken = 0;
    // Receivers that take a chunk whenever they are allowed, checked every
    // millisecond, for ten seconds.
    for (; now < 10'000'000; now += 1000) {
        while (limiter.MayReceive(now)) {
            limiter.Consume(chunk, now);
            taken += chunk;
        }
    }
    double actual = double(taken) / 10.0;
    EXPECT_NEAR(actual, double(rate), double(rate) * 0.03);
    // Waiting time when empty brings the bucket back above zero.
    uint64_t wait = limiter.WaitMicros(now);
    EXPECT_GT(wait, 0u);
    EXPECT_TRUE(limiter.MayReceive(now + wait));
}

TEST(RateLimiter, BurstIsBoundedAfterIdle)
{
    RateLimiter limiter(100 * 1024);
    uint64_t taken = 0;
    limiter.MayReceive(0);
    // After a long idle period only a tenth of a second's worth (at least
    // one chunk) may pass at once.
    uint64_t now = 60'000'000;
    while (limiter.MayReceive(now)) {
        limiter.Consume(1024, now);
        taken += 1024;
    }
    EXPECT_LE(taken, 17u * 1024);
    RateLimiter unlimited(0);
    EXPECT_TRUE(unlimited.MayReceive(0));
    EXPECT_EQ(unlimited.WaitMicros(0), 0u);
}

TEST(CommandChannel, AnswersCommandsSplitAcrossReads)
{
    StatusBoard board;
    board.SetPhase(Phase::Downloading);
    board.SetBytes(1000, 250);
    board.SetDownloadRate(2048);
    CommandChannel ch(board);
    bool quit = false;
    EXPECT_EQ(ch.Feed("st", 2, &quit), "");
    std::string out = ch.Feed("at\r\nget tb\nget qf 0\n", 20, &quit);
    EXPECT_NE(out.find("[zdl] P2PState=14\n"), std::string::npos);
    EXPECT_NE(out.find("[zdl] Percentage=25.00\n"), std::string::npos);
    EXPECT_NE(out.find("[zdl] DownloadBandWidth=2.00\n"), std::string::npos);
    EXPECT_NE(out.find("[zdl] UploadBandWidth=0.00\n"), std::string::npos);
    EXPECT_NE(out.find("[zdl] TotalByte=1000\n[zdl] IncompleteByte=750\n"), std::string::npos);
    EXPECT_NE(out.find("[zdl] FileName=:\n"), std::string::npos);
    EXPECT_EQ(out.find("Error="), std::string::npos);
    EXPECT_FALSE(quit);

    board.SetFileNames({ "zpc.exe", "data/a.pak" });
    board.SetError(CoreError::WriteFile, 28, "D:/Games/zpc.exe\n");
    EXPECT_EQ(ch.Feed("get qf 1\n", 9, &quit), "[zdl] FileName=data/a.pak\n");
    EXPECT_EQ(ch.Feed("get qf 2\n", 9, &quit), "[zdl] FileName=:\n");
    EXPECT_EQ(ch.Feed("get qf -1\n", 10, &quit), "[zdl] FileName=:\n");
    out = ch.Feed("stat\n", 5, &quit);
    EXPECT_NE(
        out.find("[zdl] Error=WriteFile\n[zdl] ErrorCode=28\n[zdl] ErrorFile=D:/Games/zpc.exe \n"), std::string::npos);
    board.ClearError(CoreError::OpenFile); // another kind stays
    EXPECT_NE(ch.Feed("stat\n", 5, &quit).find("[zdl] Error=WriteFile\n"), std::string::npos);
    board.ClearError(CoreError::WriteFile); // cleared, still sent
    out = ch.Feed("stat\n", 5, &quit);
    EXPECT_NE(out.find("[zdl] Error=None\n[zdl] ErrorCode=0\n[zdl] ErrorFile=\n"), std::string::npos);
    board.SetReservedBytes(1000, 100); // capped at the missing bytes, less the core's own need
    EXPECT_NE(ch.Feed("stat\n", 5, &quit).find("[zdl] ReservedByte=650\n"), std::string::npos);
    std::string longLine(3000, 'x');
    EXPECT_EQ(ch.Feed(longLine.data(), longLine.size(), &quit), "");
    EXPECT_EQ(ch.Feed("\nbogus\nquit\n", 12, &quit), "");
    EXPECT_TRUE(quit);
}

TEST(StatusBoard, CompletedReportsHundredPercent)
{
    StatusBoard board;
    board.SetPhase(Phase::DownloadCompleted);
    std::string s = board.StatLines();
    EXPECT_NE(s.find("[zdl] P2PState=15\n"), std::string::npos);
    EXPECT_NE(s.find("[zdl] Percentage=100.00\n"), std::string::npos);
}

} // namespace
