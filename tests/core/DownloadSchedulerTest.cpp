// The download scheduler against a fake source, on a clock the tests move
// by hand: every rule about time, in milliseconds of real time.
#include "core/DownloadScheduler.h"

#include <gtest/gtest.h>

#include <map>

using namespace zdl;
using namespace zdl::core;

namespace {

constexpr uint32_t kPiece = 16 * 1024;

// Files of the given sizes, cut into kPiece pieces.
DownloadDescription Layout(std::vector<uint64_t> sizes)
{
    DownloadDescription d;
    d.pieceSize = kPiece;
    uint32_t pieces = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        DescribedFile f;
        f.path = "f" + std::to_string(i);
        f.size = sizes[i];
        d.totalSize += sizes[i];
        pieces += PiecesOf(sizes[i], kPiece);
        d.files.push_back(f);
    }
    d.pieceHashes.resize(pieces);
    EXPECT_TRUE(d.Layout());
    return d;
}

// A source whose transfers run until the test finishes them.
class FakePort : public FetchPort {
public:
    int connections = 4;
    std::map<uint64_t, uint32_t> running; // transfer -> piece (first wanted piece of a stream)
    std::map<uint64_t, uint64_t> bytes;
    std::vector<uint64_t> dropped;
    std::vector<uint32_t> started; // pieces, in order; a stream adds its file | 0x80000000
    uint64_t next = 1;

    int IdleConnections() const override { return connections - static_cast<int>(running.size()); }
    uint64_t StartPiece(uint32_t piece) override
    {
        if (IdleConnections() <= 0)
            return 0;
        started.push_back(piece);
        running[next] = piece;
        return next++;
    }
    uint64_t StartStream(uint32_t file, const std::vector<bool>&) override
    {
        if (IdleConnections() <= 0)
            return 0;
        started.push_back(file | 0x80000000u);
        running[next] = file;
        return next++;
    }
    void Progress(std::vector<TransferBytes>* out) const override
    {
        for (const auto& [id, piece] : running)
            out->push_back({ id, bytes.count(id) ? bytes.at(id) : 0 });
    }
    void Drop(uint64_t transfer) override { dropped.push_back(transfer); }

    // Ends the transfer of `piece` (a piece request) with the given result.
    FetchDone End(uint32_t piece, long status, FetchCause cause = FetchCause::HttpStatus, int retryAfterMs = -1)
    {
        for (auto it = running.begin(); it != running.end(); ++it) {
            if (it->second != piece)
                continue;
            FetchDone d;
            d.transfer = it->first;
            d.piece = piece;
            d.httpStatus = status;
            d.ok = status == 206 && cause == FetchCause::HttpStatus;
            d.cause = d.ok ? FetchCause::None : cause;
            d.retryAfterMs = retryAfterMs;
            running.erase(it);
            return d;
        }
        ADD_FAILURE() << "piece " << piece << " not running";
        return FetchDone();
    }
};

struct Rig {
    DownloadDescription desc;
    FakePort port;
    SchedulerSettings settings;
    std::unique_ptr<DownloadScheduler> s;
    Millis now = 0;

    explicit Rig(std::vector<uint64_t> sizes, SchedulerSettings set = SchedulerSettings())
        : desc(Layout(std::move(sizes)))
        , settings(set)
    {
        s = std::make_unique<DownloadScheduler>(desc, port, settings, now);
    }
    void At(Millis t)
    {
        now = t;
        s->Tick(now);
    }
    // Serves every running piece request well and passes its hash.
    void ServeAll()
    {
        std::vector<uint32_t> pieces;
        for (const auto& [id, p] : port.running)
            pieces.push_back(p);
        for (uint32_t p : pieces) {
            if (s->Fetched(port.End(p, 206), now))
                s->Verdict(p, true, now);
        }
    }
};

TEST(DownloadScheduler, FetchesInOrderWithinTheConnectionAndWriterBudget)
{
    Rig r({ 5 * kPiece, 3 * kPiece });
    r.s->SetWriterLoad(1, false); // one piece waits for the writer
    r.At(1000);
    EXPECT_EQ(r.port.started, (std::vector<uint32_t> { 0, 1, 2 }));
    r.s->SetWriterLoad(0, true); // a full disk starts nothing
    r.ServeAll();
    r.At(1001);
    EXPECT_EQ(r.port.started.size(), 3u);
    r.s->SetWriterLoad(0, false);
    for (int i = 0; i < 5 && !r.s->Complete(); ++i) {
        r.At(1002 + i);
        r.ServeAll();
    }
    EXPECT_TRUE(r.s->Complete());
    EXPECT_EQ(r.port.started.size(), 8u); // every piece once
    EXPECT_FALSE(r.s->Report(r.now).error);
}

TEST(DownloadScheduler, RangeIgnoredFileIsStreamedOnceAtATime)
{
    Rig r({ 4 * kPiece });
    r.port.connections = 1;
    r.At(1000);
    FetchDone d = r.port.End(0, 200, FetchCause::HttpStatus);
    d.rangeIgnored = true;
    EXPECT_FALSE(r.s->Fetched(d, r.now));
    EXPECT_TRUE(r.s->Streams(0));
    r.port.connections = 2;
    r.At(1001);
    ASSERT_EQ(r.port.started.size(), 2u);
    EXPECT_EQ(r.port.started[1], 0x80000000u); // one stream for the whole file
    EXPECT_EQ(r.s->Tracker().InFlightPieces(), 4u); // all its pieces ride on it
    r.At(1002);
    EXPECT_EQ(r.port.started.size(), 2u); // no second stream, no range request
    EXPECT_FALSE(r.s->Report(r.now).error); // not a failure
}

TEST(DownloadScheduler, FailingFileWaitsAloneAndIsReportedOnceLasting)
{
    Rig r({ 2 * kPiece, 2 * kPiece });
    r.port.connections = 1;
    r.At(1000);
    EXPECT_FALSE(r.s->Fetched(r.port.End(0, 404), r.now));
    EXPECT_FALSE(r.s->Report(r.now).error); // one failure is passing
    r.At(1001);
    EXPECT_EQ(r.port.started.back(), 2u); // the other file goes on
    r.ServeAll();
    r.At(1002);
    r.ServeAll();
    // The failing file is probed once its wait ends, one piece at a time.
    Millis t = 1002;
    int probes = 0;
    while (!r.s->Report(r.now).error && t < 60000) {
        r.At(t += 50);
        if (!r.port.running.empty()) {
            ++probes;
            EXPECT_EQ(r.port.running.size(), 1u);
            r.s->Fetched(r.port.End(r.port.running.begin()->second, 404), r.now);
        }
    }
    SchedulerReport rep = r.s->Report(r.now);
    EXPECT_EQ(rep.code, 404);
    EXPECT_EQ(rep.file, 0);
    EXPECT_EQ(probes, 2); // the third failure in a row is lasting
    EXPECT_FALSE(rep.serverBusy);
    // The error stays until the file is served.
    r.At(t += 100000);
    ASSERT_EQ(r.port.running.size(), 1u);
    EXPECT_TRUE(r.s->Report(r.now).error);
    r.ServeAll();
    EXPECT_FALSE(r.s->Report(r.now).error);
}

TEST(DownloadScheduler, FailingFileWhoseProbeMeetsABusyServerIsProbedAgain)
{
    Rig r({ 2 * kPiece });
    r.port.connections = 1;
    r.At(0);
    r.s->Fetched(r.port.End(0, 206, FetchCause::ShortBody), r.now); // the file waits
    r.At(1000);
    ASSERT_EQ(r.port.running.size(), 1u); // its probe
    r.s->Fetched(r.port.End(r.port.running.begin()->second, 503), r.now);
    r.At(100000);
    ASSERT_EQ(r.port.running.size(), 1u); // probed again after the server's wait
    r.ServeAll();
    r.At(100001);
    r.ServeAll();
    EXPECT_TRUE(r.s->Complete());
}

TEST(DownloadScheduler, HashFailuresDelayThePieceAndRaiseReleaseDoubt)
{
    Rig r({ 8 * kPiece });
    r.port.connections = 1;
    r.At(1000);
    ASSERT_TRUE(r.s->Fetched(r.port.End(0, 206), r.now));
    r.s->Verdict(0, false, r.now);
    r.At(1001);
    EXPECT_EQ(r.port.started.back(), 1u); // piece 0 waits its delay
    r.ServeAll();
    r.At(1999);
    EXPECT_EQ(r.port.started.back(), 2u);
    r.ServeAll();
    r.At(2001); // a second after the failure: piece 0 again
    EXPECT_EQ(r.port.started.back(), 0u);
    // Bad pieces in a row: the release may have changed. Nothing starts
    // until the digest is read again.
    ASSERT_TRUE(r.s->Fetched(r.port.End(0, 206), r.now));
    r.s->Verdict(0, false, r.now);
    for (uint32_t p : { 3u, 4u }) {
        r.At(r.now + 1);
        ASSERT_TRUE(r.s->Fetched(r.port.End(p, 206), r.now));
        r.s->Verdict(p, false, r.now);
    }
    EXPECT_TRUE(r.s->WantsReleaseCheck());
    size_t before = r.port.started.size();
    r.At(r.now + 100000);
    EXPECT_EQ(r.port.started.size(), before);
    // Unchanged: work goes on, and the next doubt waits a while.
    r.s->ReleaseChecked(false, r.now);
    for (int i = 0; i < 3; ++i) {
        r.At(r.now + 1);
        ASSERT_EQ(r.port.running.size(), 1u);
        uint32_t p = r.port.running.begin()->second;
        ASSERT_TRUE(r.s->Fetched(r.port.End(p, 206), r.now));
        r.s->Verdict(p, false, r.now);
    }
    EXPECT_FALSE(r.s->WantsReleaseCheck());
    EXPECT_EQ(r.s->Report(r.now).code, kCodeHashMismatch); // a piece failed three times
    r.At(r.now + kFirstReleaseRecheckMs + kMaxPieceDelayMs);
    ASSERT_EQ(r.port.running.size(), 1u);
    uint32_t p = r.port.running.begin()->second;
    ASSERT_TRUE(r.s->Fetched(r.port.End(p, 206), r.now));
    r.s->Verdict(p, false, r.now);
    EXPECT_TRUE(r.s->WantsReleaseCheck());
    // A good piece clears the mismatch once it is done.
    r.s->ReleaseChecked(false, r.now);
}

TEST(DownloadScheduler, BusyServerIsOneWaitWithRetryAfterAndSpread)
{
    // 503 to everything for 20 s: four requests at once, then one probe
    // per wait, each wait at least the doubling backoff and Retry-After.
    std::vector<Millis> firstWaits;
    for (uint32_t seed : { 1u, 2u, 3u }) {
        SchedulerSettings set;
        set.seed = seed;
        set.giveUpMs = 5000;
        Rig r({ 64 * kPiece }, set);
        int requests = 0;
        std::vector<Millis> probes;
        for (r.At(0); r.now < 20000; r.At(r.now + 10)) {
            std::vector<uint32_t> pieces;
            for (const auto& [id, p] : r.port.running)
                pieces.push_back(p);
            for (uint32_t p : pieces) {
                ++requests;
                probes.push_back(r.now);
                EXPECT_FALSE(r.s->Fetched(r.port.End(p, 503, FetchCause::HttpStatus, 2000), r.now));
            }
            EXPECT_TRUE(r.s->Report(r.now).serverBusy);
        }
        EXPECT_LE(requests, 10) << "seed " << seed;
        ASSERT_GE(probes.size(), 6u);
        for (size_t i = 4; i < probes.size(); ++i)
            EXPECT_GE(probes[i] - probes[i - 1], 2000) << "Retry-After not honoured";
        firstWaits.push_back(probes[4] - probes[3]);
        EXPECT_EQ(r.s->Report(r.now).code, 503);
        EXPECT_FALSE(r.s->GaveUp(r.now)); // waiting on a server that answers is no silence
        // Recovery: the probe succeeds and every connection goes again.
        r.At(r.now + 100000);
        ASSERT_EQ(r.port.running.size(), 1u);
        r.ServeAll();
        EXPECT_FALSE(r.s->Report(r.now).serverBusy);
        EXPECT_FALSE(r.s->Report(r.now).error);
        r.At(r.now + 1);
        EXPECT_EQ(r.port.running.size(), 4u);
    }
    // The random spread: cores do not retry in step.
    EXPECT_FALSE(firstWaits[0] == firstWaits[1] && firstWaits[1] == firstWaits[2]);
    // A Retry-After beyond the cap is cut to it.
    std::mt19937 random(5);
    Millis wait = SpreadBackoff(1, kFirstBusyWaitMs, kMaxBusyWaitMs, kMaxRetryAfterMs, random);
    EXPECT_GE(wait, kMaxRetryAfterMs);
    EXPECT_LE(wait, kMaxRetryAfterMs * 3 / 2);
}

TEST(DownloadScheduler, SilentServerWaitsThenGivesUp)
{
    SchedulerSettings set;
    set.giveUpMs = 5000;
    Rig r({ 4 * kPiece }, set);
    int requests = 0;
    for (r.At(0); !r.s->GaveUp(r.now) && r.now < 20000; r.At(r.now + 10)) {
        while (!r.port.running.empty()) {
            ++requests;
            r.s->Fetched(r.port.End(r.port.running.begin()->second, 0, FetchCause::NoConnection), r.now);
        }
    }
    EXPECT_TRUE(r.s->GaveUp(r.now));
    EXPECT_GE(r.now, 5000);
    EXPECT_LT(r.now, 5100);
    EXPECT_LE(requests, 12);
    SchedulerReport rep = r.s->Report(r.now);
    EXPECT_TRUE(rep.error);
    EXPECT_EQ(rep.code, kCodeNoConnection);
    EXPECT_FALSE(rep.serverBusy);
}

TEST(DownloadScheduler, TrickleIsDroppedAndLastingTrickleReported)
{
    struct Case {
        uint64_t limit; // bytes per second, 0 none
        uint64_t trickleBps;
        bool dropped;
    } cases[] = {
        { 0, 2, true }, // a trickle
        { 0, 1500, true }, // below the floor
        { 0, 64 * 1024, false }, // slow but fine
        { 4 * 1024, 1100, false }, // its share of a low limit
        { 4 * 1024, 100, true },
    };
    for (const Case& c : cases) {
        SchedulerSettings set;
        set.rateLimit = c.limit;
        set.connections = 1;
        Rig r({ 64 * kPiece }, set);
        r.port.connections = 1;
        r.At(0);
        uint64_t id = r.port.running.begin()->first;
        for (Millis t = 0; t <= kTrickleWindowMs; t += 1000) {
            r.port.bytes[id] = c.trickleBps * static_cast<uint64_t>(t) / 1000;
            r.At(t);
        }
        EXPECT_EQ(!r.port.dropped.empty(), c.dropped) << c.limit << " " << c.trickleBps;
    }
    // Against fast neighbours a slow connection is a trickle too.
    Rig r({ 64 * kPiece });
    r.At(0);
    for (Millis t = 0; t <= kTrickleWindowMs; t += 1000) {
        for (auto& [id, piece] : r.port.running)
            r.port.bytes[id] = (piece == 0 ? 20000 : 2000000) * static_cast<uint64_t>(t) / 1000;
        r.At(t);
    }
    ASSERT_EQ(r.port.dropped.size(), 1u);
    EXPECT_EQ(r.port.running[r.port.dropped[0]], 0u);
    // A server that only trickles: every drop is a failure; failing for
    // 10 s, the second is reported as a timeout, and stays.
    SchedulerSettings one;
    one.connections = 1;
    Rig t({ 64 * kPiece }, one);
    t.port.connections = 1;
    for (int round = 0; round < 3; ++round) {
        t.At(t.now);
        ASSERT_EQ(t.port.running.size(), 1u);
        t.At(t.now + kTrickleWindowMs);
        ASSERT_EQ(t.port.dropped.size(), static_cast<size_t>(round + 1));
        t.s->Fetched(t.port.End(t.port.running.begin()->second, 206, FetchCause::Timeout), t.now);
        EXPECT_EQ(t.s->Report(t.now).error, round >= 1) << round;
        t.s->Received(20, t.now); // trickling bytes: no give-up
    }
    SchedulerReport rep = t.s->Report(t.now);
    EXPECT_TRUE(rep.error);
    EXPECT_EQ(rep.code, kCodeTimeout);
    EXPECT_FALSE(t.s->GaveUp(t.now + 1));
}

TEST(DownloadScheduler, FailureStreakAndCodes)
{
    FailureStreak s;
    EXPECT_FALSE(s.Lasting(0));
    s.Failed(0, 503);
    s.Failed(100, 503);
    EXPECT_FALSE(s.Lasting(9999)); // two failures within 10 s: passing
    EXPECT_TRUE(s.Lasting(kLastingFailureMs)); // failing for 10 s
    s.Failed(200, 404);
    EXPECT_TRUE(s.Lasting(200)); // three in a row
    EXPECT_EQ(s.Code(), 404);
    s.Succeeded();
    EXPECT_FALSE(s.Lasting(100000));
    EXPECT_EQ(FailureCode(FetchCause::HttpStatus, 404), 404);
    EXPECT_EQ(FailureCode(FetchCause::ShortBody, 206), kCodeShortBody);
    EXPECT_EQ(FailureCode(FetchCause::Timeout, 206), kCodeTimeout);
    EXPECT_EQ(FailureCode(FetchCause::NoConnection, 0), kCodeNoConnection);
}

} // namespace

// Several mirrors: fake sources whose transfer ids do not overlap, as they
// do not when every mirror shares the engine's connections.
struct Mirrors {
    DownloadDescription desc;
    std::vector<std::unique_ptr<FakePort>> ports;
    std::unique_ptr<DownloadScheduler> s;
    Millis now = 0;

    Mirrors(std::vector<uint64_t> sizes, size_t count, int connections)
        : desc(Layout(std::move(sizes)))
    {
        std::vector<FetchPort*> raw;
        for (size_t i = 0; i < count; ++i) {
            ports.push_back(std::make_unique<FakePort>());
            ports.back()->next = 1000000 * (i + 1);
            raw.push_back(ports.back().get());
        }
        SchedulerSettings set;
        set.connections = connections;
        s = std::make_unique<DownloadScheduler>(desc, raw, set, now);
    }
    FakePort& operator[](size_t i) { return *ports[i]; }
    void At(Millis t)
    {
        now = t;
        s->Tick(now);
    }
    // Ends every running piece request of mirror `m` with `status`; good
    // ones get `good` as their hash verdict.
    void Serve(size_t m, bool good = true, long status = 206)
    {
        std::vector<uint32_t> pieces;
        for (const auto& [id, p] : ports[m]->running)
            pieces.push_back(p);
        for (uint32_t p : pieces)
            if (s->Fetched(ports[m]->End(p, status), now))
                s->Verdict(p, good, now);
    }
    size_t Running(size_t m) { return ports[m]->running.size(); }
};

TEST(DownloadSchedulerMirrors, SpreadsConnectionsAndPrefersTheFasterMirror)
{
    Mirrors m({ 200 * kPiece }, 2, 4);
    m.At(0);
    EXPECT_EQ(m.Running(0), 2u); // unmeasured mirrors share alike
    EXPECT_EQ(m.Running(1), 2u);
    // Mirror 0 delivers a piece every 10 ms per connection, mirror 1 one a
    // second: once measured, mirror 1 gets nothing new while mirror 0 has
    // room for every connection.
    Millis started1 = 0;
    for (Millis t = 10; t <= 5000 && !m.s->Complete(); t += 10) {
        m.At(t);
        m.Serve(0);
        if (t - started1 >= 1000) {
            m.Serve(1);
            started1 = t;
        }
        m.At(t);
    }
    EXPECT_TRUE(m.s->Complete());
    EXPECT_LE(m[1].started.size(), 4u);
    EXPECT_EQ(m[0].started.size() + m[1].started.size(), 200u); // every piece once
    EXPECT_EQ(m.s->Stats(0).goodBytes + m.s->Stats(1).goodBytes, 200u * kPiece);
}

TEST(DownloadSchedulerMirrors, WrongBytesDemoteTheMirrorAndThePieceGoesElsewhere)
{
    Mirrors m({ 1000 * kPiece }, 2, 2);
    m.At(0);
    ASSERT_EQ(m[0].running.begin()->second, 0u);
    ASSERT_EQ(m[1].running.begin()->second, 1u);
    m.Serve(0, false); // piece 0 from mirror 0 fails its hash
    m.Serve(1);
    m.At(1);
    EXPECT_EQ(m.Running(0), 0u);
    EXPECT_EQ(m[1].started[1], 0u); // at once, from the other mirror
    EXPECT_EQ(m.Running(1), 2u);
    for (Millis t = 2; t < kFirstDemotionMs; t += 10) {
        m.Serve(1);
        m.At(t);
    }
    EXPECT_EQ(m[0].started.size(), 1u); // nothing while it rests
    EXPECT_FALSE(m.s->WantsReleaseCheck()); // a bad mirror, not a new release
    EXPECT_FALSE(m.s->Report(m.now).error);
    // After its rest: one request at a time until a good piece comes back.
    m.Serve(1);
    m.At(kFirstDemotionMs * 2);
    ASSERT_EQ(m.Running(0), 1u);
    m.Serve(1);
    m.At(m.now + 1);
    EXPECT_EQ(m.Running(0), 1u);
    m.Serve(0);
    m.Serve(1);
    m.At(m.now + 1);
    EXPECT_EQ(m.Running(0) + m.Running(1), 2u);
    EXPECT_GE(m.Running(0), 1u);
    EXPECT_EQ(m.s->Stats(0).badBytes, kPiece);
    EXPECT_EQ(m.s->Stats(0).demotions, 1);
    // A single source that sends bad bytes is still the only one: it keeps
    // all its connections (the piece delays and the release check rule).
    Mirrors one({ 40 * kPiece }, 1, 2);
    one.At(0);
    one.Serve(0, false);
    one.At(1);
    EXPECT_EQ(one.Running(0), 2u);
}

TEST(DownloadSchedulerMirrors, FileMissingOnOneMirrorComesFromAnother)
{
    Mirrors m({ 2 * kPiece, 2 * kPiece }, 2, 2);
    m.At(0); // piece 0 on mirror 0, piece 1 on mirror 1
    m.Serve(0, true, 404);
    m.At(1);
    EXPECT_EQ(m.Running(0), 0u);
    EXPECT_EQ(m[1].started.back(), 0u); // piece 0 from mirror 1
    m.Serve(1);
    m.At(2);
    EXPECT_EQ(m[0].started.back(), 2u); // mirror 0 takes the other file
    EXPECT_FALSE(m.s->Report(m.now).error);
    for (Millis t = 3; t < 100 && !m.s->Complete(); ++t) {
        m.Serve(0);
        m.Serve(1);
        m.At(t);
    }
    EXPECT_TRUE(m.s->Complete());
    for (uint32_t p : m[0].started)
        EXPECT_TRUE(p == 0 || p >= 2) << p; // file 0 not asked of mirror 0 again so soon
    // A file no mirror serves waits and is reported, as with one server.
    Mirrors none({ 2 * kPiece, 2 * kPiece }, 2, 2);
    Millis t = 0;
    for (; t < 60000 && !none.s->Report(none.now).error; t += 50) {
        none.At(t);
        for (size_t i = 0; i < 2; ++i) {
            std::vector<uint32_t> pieces;
            for (const auto& [id, p] : none[i].running)
                pieces.push_back(p);
            for (uint32_t p : pieces)
                if (none.s->Fetched(none[i].End(p, p < 2 ? 404 : 206), none.now))
                    none.s->Verdict(p, true, none.now);
        }
    }
    SchedulerReport rep = none.s->Report(none.now);
    EXPECT_TRUE(rep.error);
    EXPECT_EQ(rep.code, 404);
    EXPECT_EQ(rep.file, 0);
}

TEST(DownloadSchedulerMirrors, DownOrTricklingMirrorLeavesTheWorkToTheOthers)
{
    Mirrors m({ 64 * kPiece }, 2, 4);
    m.At(0);
    ASSERT_EQ(m.Running(0), 2u);
    // Mirror 0 is down: it waits, mirror 1 carries everything, and nothing
    // is reported since the download goes on.
    m.Serve(0, true, 0);
    m.At(1);
    EXPECT_EQ(m.Running(0), 0u);
    EXPECT_EQ(m.Running(1), 4u);
    for (Millis t = 2; t < 20000 && m.now < 20000; t += 10) {
        m.Serve(1);
        m.At(t);
        if (m.Running(0))
            m.Serve(0, true, 0); // still down when probed
        EXPECT_FALSE(m.s->Report(m.now).error);
        EXPECT_FALSE(m.s->Report(m.now).serverBusy);
        if (m.s->Complete())
            break;
    }
    EXPECT_TRUE(m.s->Complete());
    EXPECT_EQ(m.s->Stats(1).goodBytes, 64u * kPiece);

    // Mirror 0 trickles: dropped after a window, demoted, and the pieces it
    // held go to mirror 1.
    Mirrors t({ 1000 * kPiece }, 2, 4);
    t.At(0);
    for (Millis at = 10; at <= kTrickleWindowMs; at += 10) {
        for (auto& [id, piece] : t[0].running)
            t[0].bytes[id] = 1000 * static_cast<uint64_t>(at) / 1000;
        t.Serve(1);
        t.At(at);
    }
    ASSERT_EQ(t[0].dropped.size(), 2u);
    for (uint64_t id : t[0].dropped) {
        uint32_t piece = t[0].running[id];
        t.s->Fetched(t[0].End(piece, 206, FetchCause::Timeout), t.now);
    }
    size_t before = t[0].started.size();
    const Millis caught = t.now;
    for (Millis at = caught + 10; at < caught + kFirstDemotionMs; at += 10) {
        t.Serve(1);
        t.At(at);
    }
    EXPECT_EQ(t[0].started.size(), before);
    EXPECT_EQ(t.s->Stats(0).demotions, 2);
    EXPECT_FALSE(t.s->Report(t.now).error);
}

TEST(DownloadSchedulerMirrors, SlowPieceAtTheEndIsDroppedForAFasterMirror)
{
    Mirrors m({ 20 * kPiece }, 2, 4);
    m.At(0); // pieces 0 and 2 on mirror 0, 1 and 3 on mirror 1
    const uint64_t slow = m[0].running.begin()->first;
    for (Millis t = 10; t < 1000; t += 10) {
        for (auto& [id, piece] : m[0].running)
            m[0].bytes[id] = 1000 * static_cast<uint64_t>(t) / 1000; // 1 KB/s
        m.Serve(1);
        m.At(t);
    }
    // Mirror 1 has taken every other piece; mirror 0's two crawl on, and
    // with room left they are dropped once they ran long enough.
    EXPECT_EQ(m.Running(1), 0u);
    EXPECT_TRUE(m[0].dropped.empty());
    m.At(kEndGameJudgeMs - 1);
    EXPECT_TRUE(m[0].dropped.empty());
    m.At(kEndGameJudgeMs);
    ASSERT_EQ(m[0].dropped.size(), 2u);
    EXPECT_TRUE(m[0].dropped[0] == slow || m[0].dropped[1] == slow);
    m.At(kEndGameJudgeMs + 1);
    EXPECT_EQ(m[0].dropped.size(), 2u); // once each
    for (uint64_t id : std::vector<uint64_t>(m[0].dropped))
        m.s->Fetched(m[0].End(m[0].running[id], 206, FetchCause::Timeout), m.now);
    m.At(m.now + 1);
    EXPECT_EQ(m.Running(1), 2u); // again, from the faster mirror
    EXPECT_EQ(m.Running(0), 0u);
    m.Serve(1);
    EXPECT_TRUE(m.s->Complete());
    // With one source there is nothing faster to go to: the piece stays.
    Mirrors one({ 2 * kPiece }, 1, 4);
    one.At(0);
    one.At(kEndGameJudgeMs * 4);
    EXPECT_TRUE(one[0].dropped.empty());
}

TEST(DownloadSchedulerMirrors, SlowerMirrorKeepsOneConnection)
{
    // Measured at a hundredth of the other's speed, a healthy mirror still
    // gets a transfer whenever it has none (and so is measured again), but
    // never more than one while the faster has room.
    Mirrors m({ 2000 * kPiece }, 2, 4);
    m.At(0);
    m.Serve(0);
    m.At(10);
    m.Serve(0);
    m.At(1000);
    m.Serve(1); // a second for each of its pieces
    for (Millis t = 1010; t < 5000; t += 10) {
        m.At(t);
        EXPECT_EQ(m.Running(1), 1u) << t;
        m.Serve(0);
        if (t % 1000 == 0)
            m.Serve(1);
    }
    EXPECT_EQ(m[1].started.size(), 6u); // two at the start, then one a second
}

// A peer that is fetching a piece from a server says so (404 with
// "Retry-After"): the piece waits for it and never goes to the server too.
TEST(DownloadSchedulerPeers, PieceAPeerIsFetchingWaitsForIt)
{
    DownloadDescription desc = Layout({ 2 * kPiece });
    FakePort server, peer;
    peer.next = 1000; // transfer ids are unique across sources
    SchedulerSettings set;
    set.connections = 2;
    DownloadScheduler s(desc, server, set, 0);
    ASSERT_EQ(s.AddSource(&peer, true), 1);
    s.Tick(0); // the untried peer takes one piece, the server the other
    ASSERT_EQ(peer.started, (std::vector<uint32_t> { 0 }));
    ASSERT_EQ(server.started, (std::vector<uint32_t> { 1 }));
    EXPECT_FALSE(s.Fetched(peer.End(0, 404, FetchCause::HttpStatus, 1000), 1));
    for (Millis t = 2; t < 1001; t += 100)
        s.Tick(t);
    EXPECT_EQ(server.started, (std::vector<uint32_t> { 1 }));
    EXPECT_EQ(peer.started.size(), 1u);
    s.Tick(1001); // its wait is over: the same peer, which has it by now
    ASSERT_EQ(peer.started, (std::vector<uint32_t> { 0, 0 }));
    ASSERT_TRUE(s.Fetched(peer.End(0, 206), 1002));
    s.Verdict(0, true, 1002);
    ASSERT_TRUE(s.Fetched(server.End(1, 206), 1003));
    s.Verdict(1, true, 1003);
    EXPECT_TRUE(s.Complete());
    EXPECT_EQ(server.started, (std::vector<uint32_t> { 1 }));
}

// Peers join while downloading: a piece goes to a peer first. A peer's 404
// is no error: the first time no peer has a piece it waits for them while
// other pieces go on, the second time the server sends it. A peer whose
// piece fails its hash, and one that trickles, are dropped for good while
// the download completes from the server.
TEST(DownloadSchedulerPeers, PeersJoinLateAreAskedFirstAndDroppedWhenHostile)
{
    DownloadDescription desc = Layout({ 12 * kPiece });
    FakePort server, lacking, liar, slow;
    lacking.next = 1000; // transfer ids are unique across sources
    liar.next = 2000;
    slow.next = 3000;
    SchedulerSettings set;
    set.connections = 1;
    DownloadScheduler s(desc, server, set, 0);
    s.Tick(0);
    ASSERT_EQ(server.started, (std::vector<uint32_t> { 0 }));
    ASSERT_TRUE(s.Fetched(server.End(0, 206), 1));
    s.Verdict(0, true, 1);

    const int peerA = s.AddSource(&lacking, true);
    ASSERT_EQ(peerA, 1);
    s.Tick(10);
    ASSERT_EQ(lacking.started, (std::vector<uint32_t> { 1 })); // the peer first
    EXPECT_TRUE(server.running.empty());
    EXPECT_FALSE(s.Fetched(lacking.End(1, 404), 11));
    s.Tick(12); // piece 1 waits for the peer; the next piece goes on
    ASSERT_EQ(lacking.started, (std::vector<uint32_t> { 1, 2 }));
    ASSERT_TRUE(s.Fetched(lacking.End(2, 206), 13));
    s.Verdict(2, true, 13);
    EXPECT_EQ(s.Stats(1).goodBytes, kPiece);
    Millis now = 11 + kPeerWaitMaxMs;
    s.Tick(now); // the peer is asked again, still lacks it: the server sends it
    ASSERT_EQ(lacking.started.back(), 1u);
    EXPECT_FALSE(s.Fetched(lacking.End(1, 404), now));
    s.Tick(++now);
    ASSERT_EQ(server.running.size(), 1u);
    EXPECT_EQ(server.running.begin()->second, 1u);
    EXPECT_FALSE(s.Report(now).error);
    ASSERT_TRUE(s.Fetched(server.End(1, 206), now));
    s.Verdict(1, true, now);

    // A liar: its bad piece drops it; the piece comes again at once.
    lacking.connections = 0;
    const int peerB = s.AddSource(&liar, true);
    s.Tick(++now);
    ASSERT_EQ(liar.started, (std::vector<uint32_t> { 3 }));
    ASSERT_TRUE(s.Fetched(liar.End(3, 206), now));
    s.Verdict(3, false, now);
    EXPECT_TRUE(s.Dropped(static_cast<uint32_t>(peerB)));
    EXPECT_FALSE(s.WantsReleaseCheck());
    s.Tick(++now);
    EXPECT_EQ(liar.started.size(), 1u);
    EXPECT_EQ(server.running.begin()->second, 3u);
    ASSERT_TRUE(s.Fetched(server.End(3, 206), now));
    s.Verdict(3, true, now);

    // A trickle: one window, then dropped; the rest comes from the server.
    const int peerC = s.AddSource(&slow, true);
    const Millis asked = ++now;
    s.Tick(asked);
    ASSERT_EQ(slow.started, (std::vector<uint32_t> { 4 }));
    now = asked + kTrickleWindowMs;
    s.Tick(now);
    ASSERT_EQ(slow.dropped.size(), 1u);
    EXPECT_FALSE(s.Fetched(slow.End(4, 0, FetchCause::Timeout), now));
    EXPECT_TRUE(s.Dropped(static_cast<uint32_t>(peerC)));
    for (int i = 0; i < 20 && !s.Complete(); ++i) {
        s.Tick(++now);
        EXPECT_TRUE(liar.running.empty() && slow.running.empty());
        for (auto& [id, p] : std::map<uint64_t, uint32_t>(server.running))
            if (s.Fetched(server.End(p, 206), now))
                s.Verdict(p, true, now);
    }
    EXPECT_TRUE(s.Complete());
    EXPECT_FALSE(s.Report(now).error);
    EXPECT_FALSE(s.Dropped(static_cast<uint32_t>(peerA)));
}
