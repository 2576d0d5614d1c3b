// Every decision about time during the download, in one place: which piece
// to request next and on which source, how long a failing file, piece or
// server waits, when a connection is too slow to keep, when hash failures
// mean that the release changed, when an error is lasting enough to report
// and when to give up on a silent server.
//
// The scheduler owns no thread, socket or clock. The engine calls it with
// the time on its own clock (milliseconds; tests pass any numbers), hands
// it every finished transfer and every hash verdict, and asks it what to
// report. It starts and drops transfers through FetchPort, so tests drive
// it with a fake source in milliseconds.
//
// The rules:
// - Pieces go in order; a piece whose hash failed waits on its own growing
//   delay before it is fetched again (at once, from another source, when
//   one is left that has not failed it).
// - Several sources (mirrors of one release) share the connections: each
//   request goes to a healthy source without a transfer, else to the open
//   source with the fewest transfers for its speed, so faster sources
//   carry more. A source that sends bytes failing
//   their hash or trickles is demoted: it gets nothing while another
//   source is healthy, for a doubling time, and then one request at a time
//   until it delivers a good piece. A file one source answers for but does
//   not serve (404 ...) goes to the others; it waits only when every
//   source fails it. At the end, with nothing left to request, a piece
//   crawling in from a source far slower than a free one is dropped and
//   fetched again from the faster.
// - Peers (other cores of the release on the local network) are sources
//   that may appear at any time and hold only some pieces: a piece goes to
//   a peer first, and to the servers once no peer has it. A peer's "not
//   found" only means "not yet": that peer is asked for the piece again
//   after kPeerNotYetMs, and nothing is reported; the first time no peer
//   has a piece it waits for them (kPeerNotYetMs to kPeerWaitMaxMs, at
//   random; other pieces go on), the second time it comes from the
//   servers. A peer that answers "404" with "Retry-After" is fetching the
//   piece from a server: it is waited for (up to kMaxPeerComing times)
//   rather than fetched from the servers too. A peer that sends a piece
//   failing its hash, trickles, or answers a range with something else is
//   dropped for good; its failures never count as the servers'
//   (no report, no doubt about the release, no hold on giving up).
// - A file the server answers for but does not serve (404, short body ...)
//   waits on its own backoff (FileRetryBook) while the rest goes on.
// - A file whose server ignores Range is fetched whole, once at a time.
// - A busy source (503, 429) or one that does not answer at all makes all
//   its connections wait once: exponential backoff with a random spread,
//   never shorter than the server's Retry-After (capped); then one probe
//   request, and only its success lets every connection go again.
// - A transfer that gets far less than the others (or less than a floor,
//   judged against its share of the speed limit when there is one) over a
//   window is dropped and its piece fetched again.
// - Hash failures in a row (no good piece between them) make the scheduler
//   hold new requests until the engine has re-read the digest: a changed
//   release is never downloaded piece by failing piece.
// - A failure is reported once it is lasting (for a source, only while
//   every source fails) (kLastingFailures in a row or
//   for kLastingFailureMs) and stays until the failing operation succeeds.
// - The download gives up when no byte and no answer came for the give-up
//   time (waiting on a full disk or on files the server answered for does
//   not count).
#pragma once

#include "core/DownloadDescription.h"
#include "core/FetchPort.h"
#include "core/FileRetryBook.h"
#include "core/PieceTracker.h"

#include <cstdint>
#include <random>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zdl::core {

using Millis = int64_t; // a time on the engine's clock

// Lasting failures: reported from the third in a row, or once failing this long.
constexpr int kLastingFailures = 3;
constexpr Millis kLastingFailureMs = 10000;

// Trickles: a transfer is judged over windows of this length.
constexpr Millis kTrickleWindowMs = 10000;
// Below this rate a transfer is too slow whatever the others do ...
constexpr uint64_t kTrickleFloorBytesPerSecond = 2048;
// ... and below the others' rate divided by this.
constexpr uint64_t kTrickleRatio = 16;

// A busy or silent source.
constexpr Millis kFirstBusyWaitMs = 1000; // after 503 / 429
constexpr Millis kMaxBusyWaitMs = 60000;
constexpr Millis kMaxRetryAfterMs = 120000; // a longer Retry-After is cut to this
constexpr Millis kFirstSilentWaitMs = 250; // after no answer at all
constexpr Millis kMaxSilentWaitMs = 15000;

// Pieces that fail their hash.
constexpr Millis kMaxPieceDelayMs = 60000;
constexpr int kDoubtReleaseAfter = 3; // hash failures in a row
constexpr Millis kFirstReleaseRecheckMs = 30000; // between digest re-reads that found no change
constexpr Millis kMaxReleaseRecheckMs = 600000;

constexpr Millis kStreamWaitMs = 1000; // a piece whose file is being streamed

// A demoted source (bad bytes, a trickle) rests this long, doubling.
constexpr Millis kFirstDemotionMs = 2000;
constexpr Millis kMaxDemotionMs = 60000;
// At the end, a transfer far slower than a free mirror is dropped once it
// ran this long.
constexpr Millis kEndGameJudgeMs = 2000;
// A piece smaller than this (or than a whole piece) says more about latency
// than speed: it is no sample of a source's rate.
constexpr uint32_t kMinRateSampleBytes = 64 * 1024;
// Pieces passed over in one round because no source may take them now.
constexpr size_t kMaxSkippedPerRound = 64;
constexpr size_t kMaxSources = 64;
// A peer that lacks a piece is asked for it again after this long.
constexpr Millis kPeerNotYetMs = 1000;
// A piece no peer has waits for them once, up to this long.
constexpr Millis kPeerWaitMaxMs = 4000;
// A peer that says it is fetching a piece (404 with "Retry-After") is
// waited for this many times at most.
constexpr int kMaxPeerComing = 10;

// Codes of "ErrorCode" beyond HTTP statuses.
constexpr int kCodeShortBody = 1000;
constexpr int kCodeHashMismatch = 1001;
constexpr int kCodeTimeout = 1002;
constexpr int kCodeNoConnection = 1003;
constexpr int kCodeMalformed = 1004;
constexpr int kCodeReleaseChanged = 1005;

// The code that names the cause of a failed transfer.
int FailureCode(FetchCause cause, long httpStatus);

// Judges one transfer (or a small-file fetch) window by window.
class TrickleGuard {
public:
    void Start(Millis now, uint64_t bytes = 0);
    // True when a window ended by `now` (`bytes` received in all); its
    // rate is then LastRate() and the next window starts.
    bool WindowEnded(Millis now, uint64_t bytes);
    // A window ended with less than `floorBps` bytes per second.
    bool TooSlow(Millis now, uint64_t bytes, uint64_t floorBps)
    {
        return WindowEnded(now, bytes) && lastRate_ < floorBps;
    }
    // The rate of the last whole window, 0 before one ended.
    uint64_t LastRate() const { return lastRate_; }

private:
    Millis start_ = 0;
    uint64_t startBytes_ = 0;
    uint64_t lastRate_ = 0;
};

// Failures of one operation since its last success.
class FailureStreak {
public:
    void Failed(Millis now, int code);
    void Succeeded() { count_ = 0; }
    bool Failing() const { return count_ > 0; }
    bool Lasting(Millis now) const
    {
        return count_ >= kLastingFailures || (count_ > 0 && now - first_ >= kLastingFailureMs);
    }
    int Count() const { return count_; }
    int Code() const { return code_; }

private:
    int count_ = 0;
    int code_ = 0;
    Millis first_ = 0;
};

// Waits before the next request: the backoff after `failures` in a row,
// doubling from `first` up to `max`, never shorter than `atLeast`, plus a
// random spread of up to half of it (so many cores do not retry in step).
Millis SpreadBackoff(int failures, Millis first, Millis max, Millis atLeast, std::mt19937& random);

struct SchedulerSettings {
    int connections = 4; // transfers plus pieces waiting for the writer
    uint64_t rateLimit = 0; // bytes per second, 0 unlimited
    Millis giveUpMs = 300000;
    uint32_t seed = 0; // of the random spread
    // Pieces in a random order rather than in sequence, so that cores
    // sharing with each other fetch different pieces from the servers.
    bool scatter = false;
};

// What one source delivered, for the log.
struct SourceStats {
    uint64_t goodBytes = 0; // pieces that passed their hash
    uint64_t badBytes = 0; // pieces that failed it
    int demotions = 0;
};

// What the engine should show: an error (code, file index or -1) or none.
struct SchedulerReport {
    bool error = false;
    int code = 0;
    int64_t file = -1;
    bool serverBusy = false;
};

class DownloadScheduler {
public:
    // `desc` and the ports must outlive the scheduler (not owned). Each
    // port is one source (a mirror), in the publisher's order; transfer
    // ids are unique across all of them.
    DownloadScheduler(const DownloadDescription& desc, const std::vector<FetchPort*>& ports,
        const SchedulerSettings& settings, Millis now);
    DownloadScheduler(const DownloadDescription& desc, FetchPort& port, const SchedulerSettings& settings, Millis now)
        : DownloadScheduler(desc, std::vector<FetchPort*> { &port }, settings, now)
    {
    }

    // A source that appeared while downloading: a mirror, or a peer
    // (`peer`). Its index, or -1 when kMaxSources are known.
    int AddSource(FetchPort* port, bool peer);
    // True when `transfer` runs on a peer (whose failures are no news for
    // the player).
    bool OnPeer(uint64_t transfer) const;
    // A peer dropped for misbehaving.
    bool Dropped(uint32_t source) const { return sources_[source].dropped; }

    // A piece already good on disk.
    void MarkGood(uint32_t piece);
    // The writer's load: pieces queued and whether the disk is full.
    void SetWriterLoad(size_t pending, bool diskFull);
    // Starts what may start, lets due pieces go, drops trickles.
    void Tick(Millis now);
    // A finished transfer. True when its data is a piece for the writer.
    bool Fetched(const FetchDone& done, Millis now);
    // The writer's verdict on a piece handed to it.
    void Verdict(uint32_t piece, bool good, Millis now);
    // Body bytes received since the last call.
    void Received(uint64_t bytes, Millis now);

    bool Complete() const { return tracker_.Complete(); }
    bool GaveUp(Millis now) const;
    // Hash failures suggest the release changed: read the digest again and
    // say whether it did. Nothing new starts until then.
    bool WantsReleaseCheck() const { return doubt_; }
    void ReleaseChecked(bool changed, Millis now);
    SchedulerReport Report(Millis now) const;

    const PieceTracker& Tracker() const { return tracker_; }
    // A file fetched whole from some source because it ignores Range for it.
    bool Streams(uint32_t file) const;
    size_t SourceCount() const { return sources_.size(); }
    SourceStats Stats(uint32_t source) const { return sources_[source].stats; }

private:
    struct Transfer {
        uint32_t source = 0;
        uint32_t piece = 0; // the first wanted piece of a stream
        bool stream = false;
        uint32_t file = 0;
        Millis started = 0;
        TrickleGuard guard;
        uint64_t bytes = 0;
        int epoch = 0; // of its source's waits when it started
        bool dropped = false; // told to end, its pieces not back yet
    };
    // A file a source answered for but did not serve.
    struct FileMiss {
        int failures = 0;
        Millis until = 0;
    };
    // One place pieces come from: a server (mirror).
    struct Source {
        FetchPort* port = nullptr; // not owned
        Millis waitUntil = 0; // busy or silent: nothing starts before
        bool busy = false; // the wait is for a 503 / 429
        bool probing = false; // after a wait, one request tests the source
        int waits = 0; // waits in a row
        int epoch = 0; // waits so far
        FailureStreak streak; // failures of the source itself
        int64_t failingFile = -1;
        uint64_t pieceRate = 0; // of recent good transfers, bytes per second
        int faults = 0; // demotions since its last good piece
        Millis demotedUntil = 0;
        std::unordered_map<uint32_t, FileMiss> misses; // by file
        std::unordered_set<uint32_t> streamFiles; // files it ignores Range for
        SourceStats stats;
        bool peer = false; // another core on the local network
        bool dropped = false; // a peer that misbehaved: never asked again
        std::unordered_map<uint32_t, Millis> notYet; // a peer's missing pieces, until when
    };

    void StartRequests(Millis now);
    // The source that should carry `piece` of `file` now, -1 for none.
    int ChooseSource(uint32_t piece, uint32_t file, Millis now) const;
    bool Open(uint32_t source, Millis now) const; // may start a transfer now
    bool Demoted(uint32_t source, Millis now) const;
    bool Misses(uint32_t source, uint32_t file, Millis now) const;
    uint64_t RateOf(uint32_t source, Millis now) const;
    void Demote(uint32_t source, Millis now, const char* why);
    void DropPeer(uint32_t source, const char* why);
    bool PeerMayServe(uint32_t source, uint32_t piece, Millis now) const;
    bool StartStream(uint32_t source, uint32_t file, uint32_t piece, Millis now);
    void ReleaseDue(Millis now);
    void DropTrickles(uint32_t source, Millis now);
    void DropSlowAtTheEnd(Millis now);
    uint64_t TrickleFloor(uint64_t othersRate) const;
    size_t TransfersOf(uint32_t source) const;
    bool Streaming(uint32_t file) const;

    const DownloadDescription& desc_;
    SchedulerSettings settings_;
    PieceTracker tracker_;
    std::vector<Source> sources_;
    std::unordered_map<uint64_t, Transfer> transfers_;
    FileRetryBook retries_;
    std::unordered_map<uint32_t, uint32_t> pieceSource_; // pieces with the writer: who sent them
    std::unordered_map<uint32_t, uint64_t> badSources_; // pieces: sources whose copy failed its hash
    std::vector<std::pair<Millis, uint32_t>> delayed_; // pieces waiting out a delay
    std::unordered_map<uint32_t, int> hashFailures_;
    std::unordered_map<uint32_t, int> peerComing_; // pieces: times a peer said it is fetching them
    std::unordered_set<uint32_t> peerWaited_; // pieces that waited once for a peer to have them
    size_t writerPending_ = 0;
    bool diskFull_ = false;
    int hashStreak_ = 0; // hash failures since the last good piece
    bool doubt_ = false;
    int rechecks_ = 0;
    Millis nextRecheck_ = 0;
    Millis lastBytes_ = 0;
    Millis lastAnswer_ = 0;
    std::mt19937 random_;
};

} // namespace zdl::core
