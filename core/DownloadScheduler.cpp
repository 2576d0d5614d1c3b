#include "core/DownloadScheduler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace zdl::core {

namespace {

    FileRetryBook::Clock::time_point At(Millis now)
    {
        return FileRetryBook::Clock::time_point(std::chrono::milliseconds(now));
    }

    Millis Doubling(int failures, Millis first, Millis max)
    {
        Millis ms = first;
        for (int i = 1; i < failures && ms < max; ++i)
            ms *= 2;
        return std::min(ms, max);
    }

    bool IsBusyStatus(long status)
    {
        return status == 503 || status == 429;
    }

} // namespace

int FailureCode(FetchCause cause, long httpStatus)
{
    switch (cause) {
    case FetchCause::HttpStatus:
        return static_cast<int>(httpStatus);
    case FetchCause::ShortBody:
        return kCodeShortBody;
    case FetchCause::Timeout:
        return kCodeTimeout;
    case FetchCause::NoConnection:
        return kCodeNoConnection;
    case FetchCause::None:
    case FetchCause::Cancelled:
        break;
    }
    return httpStatus ? static_cast<int>(httpStatus) : kCodeNoConnection;
}

void TrickleGuard::Start(Millis now, uint64_t bytes)
{
    start_ = now;
    startBytes_ = bytes;
    lastRate_ = 0;
}

bool TrickleGuard::WindowEnded(Millis now, uint64_t bytes)
{
    Millis span = now - start_;
    if (span < kTrickleWindowMs)
        return false;
    lastRate_ = (bytes - startBytes_) * 1000 / static_cast<uint64_t>(span);
    start_ = now;
    startBytes_ = bytes;
    return true;
}

void FailureStreak::Failed(Millis now, int code)
{
    if (count_++ == 0)
        first_ = now;
    code_ = code;
}

Millis SpreadBackoff(int failures, Millis first, Millis max, Millis atLeast, std::mt19937& random)
{
    Millis base = std::max(Doubling(failures, first, max), atLeast);
    std::uniform_int_distribution<Millis> spread(0, base / 2);
    return base + spread(random);
}

DownloadScheduler::DownloadScheduler(const DownloadDescription& desc, const std::vector<FetchPort*>& ports,
    const SchedulerSettings& settings, Millis now)
    : desc_(desc)
    , settings_(settings)
    , tracker_([&desc] {
        std::vector<uint32_t> lengths(desc.PieceCount());
        for (uint32_t p = 0; p < lengths.size(); ++p)
            lengths[p] = desc.Locate(p).length;
        return lengths;
    }())
    , lastBytes_(now)
    , lastAnswer_(now)
    , random_(settings.seed)
{
    for (FetchPort* port : ports)
        AddSource(port, false);
    if (settings.scatter) {
        std::vector<uint32_t> order(tracker_.PieceCount());
        for (uint32_t p = 0; p < order.size(); ++p)
            order[p] = p;
        std::shuffle(order.begin(), order.end(), random_);
        tracker_.SetOrder(std::move(order));
    }
}

int DownloadScheduler::AddSource(FetchPort* port, bool peer)
{
    if (sources_.size() == kMaxSources)
        return -1;
    Source source;
    source.port = port;
    source.peer = peer;
    sources_.push_back(std::move(source));
    return static_cast<int>(sources_.size() - 1);
}

bool DownloadScheduler::OnPeer(uint64_t transfer) const
{
    auto it = transfers_.find(transfer);
    return it != transfers_.end() && sources_[it->second.source].peer;
}

bool DownloadScheduler::PeerMayServe(uint32_t s, uint32_t piece, Millis now) const
{
    const Source& source = sources_[s];
    if (source.dropped || !Open(s, now))
        return false;
    // Until it delivered a good piece, a peer gets one request at a time: a
    // trickling peer holds up one connection, not all of them.
    if (source.stats.goodBytes == 0 && TransfersOf(s) > 0)
        return false;
    auto it = source.notYet.find(piece);
    return it == source.notYet.end() || now >= it->second;
}

// A peer that misbehaved: its running transfers end (their pieces come
// back as dropped) and it is never asked again.
void DownloadScheduler::DropPeer(uint32_t s, const char* why)
{
    Source& source = sources_[s];
    if (source.dropped)
        return;
    source.dropped = true;
    ++source.stats.demotions;
    source.notYet.clear();
    for (auto& [id, t] : transfers_) {
        if (t.source == s && !t.dropped) {
            t.dropped = true;
            source.port->Drop(id);
        }
    }
    std::fprintf(stderr, "zdl-core: peer %u %s: dropped\n", s, why);
}

bool DownloadScheduler::Streams(uint32_t file) const
{
    for (const Source& s : sources_)
        if (s.streamFiles.count(file))
            return true;
    return false;
}

void DownloadScheduler::MarkGood(uint32_t piece)
{
    tracker_.MarkDone(piece);
}

void DownloadScheduler::SetWriterLoad(size_t pending, bool diskFull)
{
    writerPending_ = pending;
    diskFull_ = diskFull;
}

void DownloadScheduler::Tick(Millis now)
{
    ReleaseDue(now);
    for (uint32_t s = 0; s < sources_.size(); ++s)
        DropTrickles(s, now);
    StartRequests(now);
    for (uint32_t s = 0; s < sources_.size(); ++s) {
        // Waiting on a full disk, on a busy source or on the backoff of
        // files the source answered for does not count towards giving up.
        const Source& source = sources_[s];
        if (source.peer)
            continue; // only the servers' waits count
        if (diskFull_ || (transfers_.empty() && (source.busy || now >= source.waitUntil)))
            lastBytes_ = now;
    }
}

size_t DownloadScheduler::TransfersOf(uint32_t source) const
{
    size_t n = 0;
    for (const auto& [id, t] : transfers_)
        n += t.source == source ? 1 : 0;
    return n;
}

bool DownloadScheduler::Streaming(uint32_t file) const
{
    for (const auto& [id, t] : transfers_)
        if (t.stream && t.file == file)
            return true;
    return false;
}

bool DownloadScheduler::Demoted(uint32_t s, Millis now) const
{
    return sources_[s].faults > 0 && now < sources_[s].demotedUntil;
}

bool DownloadScheduler::Misses(uint32_t s, uint32_t file, Millis now) const
{
    auto it = sources_[s].misses.find(file);
    return it != sources_[s].misses.end() && now < it->second.until;
}

bool DownloadScheduler::Open(uint32_t s, Millis now) const
{
    const Source& source = sources_[s];
    if (source.dropped || now < source.waitUntil || source.port->IdleConnections() <= 0)
        return false;
    // After a wait one request tests the source; the others wait for it.
    return !(source.waits > 0 && TransfersOf(s) > 0);
}

// A source's speed per connection: its recent good pieces, else what its
// running transfers get once they ran a second, else unknown (0).
uint64_t DownloadScheduler::RateOf(uint32_t s, Millis now) const
{
    if (sources_[s].pieceRate)
        return sources_[s].pieceRate;
    uint64_t rate = 0;
    for (const auto& [id, t] : transfers_)
        if (t.source == s && now - t.started >= 1000)
            rate = std::max(rate, t.bytes * 1000 / static_cast<uint64_t>(now - t.started));
    return rate;
}

// Mirror choice. A demoted source is used only while no healthy source
// could take the piece, and after its rest one request at a time until it
// delivers a good piece; a source that missed the file or sent a bad copy
// of this piece is passed over. Among the rest, a healthy one without a
// transfer first, then the one with the fewest transfers for its speed; a
// source not yet measured counts as fast as the fastest. Ties go to the
// publisher's order.
int DownloadScheduler::ChooseSource(uint32_t piece, uint32_t file, Millis now) const
{
    uint64_t failedOn = 0;
    if (auto it = badSources_.find(piece); it != badSources_.end())
        failedOn = it->second;
    // Peers first: the one with the fewest transfers among those that may
    // hold the piece. A peer never sent a bad copy (it would be dropped).
    int bestPeer = -1;
    for (uint32_t s = 0; s < sources_.size(); ++s)
        if (sources_[s].peer && PeerMayServe(s, piece, now)
            && (bestPeer < 0 || TransfersOf(s) < TransfersOf(static_cast<uint32_t>(bestPeer))))
            bestPeer = static_cast<int>(s);
    if (bestPeer >= 0)
        return bestPeer;
    // Then the servers.
    uint64_t everySource = 0;
    for (uint32_t s = 0; s < sources_.size(); ++s)
        everySource |= sources_[s].peer ? 0 : uint64_t(1) << s;
    if ((failedOn & everySource) == everySource)
        failedOn = 0; // every copy failed: the piece waits on its delay, then any source
    // Misses count only while some source does not miss the file: when
    // every one fails it, the file's own wait (FileRetryBook) decides.
    bool someServe = false;
    for (uint32_t s = 0; s < sources_.size(); ++s)
        someServe = someServe || (!sources_[s].peer && !Misses(s, file, now));
    auto misses = [&](uint32_t s) { return someServe && Misses(s, file, now); };
    uint64_t fastest = 1;
    for (uint32_t s = 0; s < sources_.size(); ++s)
        fastest = std::max(fastest, sources_[s].peer ? 0 : RateOf(s, now));
    bool healthyExists = false; // healthy and able to serve the piece, if not now
    for (uint32_t s = 0; s < sources_.size(); ++s)
        if (!sources_[s].peer && sources_[s].faults == 0 && !misses(s) && !(failedOn >> s & 1))
            healthyExists = true;
    int best = -1;
    double bestScore = 0;
    for (uint32_t s = 0; s < sources_.size(); ++s) {
        if (sources_[s].peer || !Open(s, now) || misses(s) || (failedOn >> s & 1))
            continue;
        if (healthyExists && sources_[s].faults > 0 && (Demoted(s, now) || TransfersOf(s) > 0))
            continue;
        // A healthy source without a transfer comes first: every mirror
        // keeps being used, and measured, while there are connections.
        uint64_t rate = RateOf(s, now);
        size_t running = TransfersOf(s);
        double score
            = running == 0 && sources_[s].faults == 0 ? 0 : double(running + 1) / double(rate ? rate : fastest);
        if (best < 0 || score < bestScore) {
            best = static_cast<int>(s);
            bestScore = score;
        }
    }
    return best;
}

// At most `connections` pieces are fetched but not yet on disk at any time
// (in transfer or waiting for the writer): that bounds both memory and what
// a crash can lose.
void DownloadScheduler::StartRequests(Millis now)
{
    if (doubt_ || diskFull_)
        return;
    const size_t budget = static_cast<size_t>(settings_.connections);
    std::vector<uint32_t> skipped; // no source may take them now
    bool exhausted = false; // every missing piece is on its way
    while (transfers_.size() + writerPending_ < budget && skipped.size() < kMaxSkippedPerRound) {
        bool anyOpen = false;
        for (uint32_t s = 0; s < sources_.size() && !anyOpen; ++s)
            anyOpen = Open(s, now);
        if (!anyOpen)
            break;
        uint32_t p = 0;
        if (!tracker_.TakeNext(&p)) {
            exhausted = true;
            break;
        }
        uint32_t file = desc_.Locate(p).file;
        if (retries_.ParkIfWaiting(file, p, At(now)))
            continue;
        int chosen = ChooseSource(p, file, now);
        if (chosen < 0) {
            retries_.ProbeNotStarted(file);
            skipped.push_back(p);
            continue;
        }
        const uint32_t s = static_cast<uint32_t>(chosen);
        Source& source = sources_[s];
        if (source.streamFiles.count(file)) {
            if (!StartStream(s, file, p, now)) {
                retries_.ProbeNotStarted(file);
                break;
            }
            continue;
        }
        uint64_t id = source.port->StartPiece(p);
        if (!id) {
            tracker_.Release(p);
            retries_.ProbeNotStarted(file);
            break;
        }
        Transfer& t = transfers_[id];
        t.source = s;
        t.piece = p;
        t.file = file;
        t.started = now;
        t.epoch = source.epoch;
        t.guard.Start(now);
    }
    for (uint32_t p : skipped)
        tracker_.Release(p);
    if (exhausted && skipped.empty() && transfers_.size() + writerPending_ < budget)
        DropSlowAtTheEnd(now);
}

// The end of the download: nothing is left to request, connections are
// idle, and a piece still crawls in from a mirror far slower than another
// that is free. Waiting for the trickle window would keep the player
// waiting on it; its piece is dropped and comes again from the faster one.
void DownloadScheduler::DropSlowAtTheEnd(Millis now)
{
    for (auto& [id, t] : transfers_) {
        if (t.dropped || now - t.started < kEndGameJudgeMs)
            continue;
        uint64_t live = t.bytes * 1000 / static_cast<uint64_t>(now - t.started);
        uint64_t better = 0;
        for (uint32_t s = 0; s < sources_.size(); ++s)
            if (s != t.source && Open(s, now) && !Demoted(s, now))
                better = std::max(better, RateOf(s, now));
        if (better > 0 && live * kTrickleRatio < better) {
            std::fprintf(stderr, "zdl-core: piece %u at %llu bytes/s from mirror %u near the end: dropped\n", t.piece,
                static_cast<unsigned long long>(live), t.source);
            t.dropped = true;
            sources_[t.source].port->Drop(id);
        }
    }
}

void DownloadScheduler::Demote(uint32_t s, Millis now, const char* why)
{
    Source& source = sources_[s];
    ++source.faults;
    ++source.stats.demotions;
    Millis rest = SpreadBackoff(source.faults, kFirstDemotionMs, kMaxDemotionMs, 0, random_);
    source.demotedUntil = now + rest;
    if (sources_.size() > 1)
        std::fprintf(stderr, "zdl-core: mirror %u %s: demoted for %lld ms\n", s, why, static_cast<long long>(rest));
}

// Fetches `file` whole on one connection, for a server that ignores Range:
// every missing piece of the file (`piece`, just taken, among them) rides on
// the stream. While a stream of the file runs, a piece that comes free
// waits a moment for the next one.
bool DownloadScheduler::StartStream(uint32_t s, uint32_t file, uint32_t piece, Millis now)
{
    if (Streaming(file)) {
        delayed_.emplace_back(now + kStreamWaitMs, piece);
        return true;
    }
    const DescribedFile& f = desc_.files[file];
    std::vector<bool> wanted(f.pieceCount);
    for (uint32_t i = 0; i < f.pieceCount; ++i)
        wanted[i] = f.firstPiece + i == piece || tracker_.Take(f.firstPiece + i);
    uint64_t id = sources_[s].port->StartStream(file, wanted);
    if (!id) {
        for (uint32_t i = 0; i < f.pieceCount; ++i)
            if (wanted[i])
                tracker_.Release(f.firstPiece + i);
        return false;
    }
    Transfer& t = transfers_[id];
    t.source = s;
    t.piece = piece;
    t.stream = true;
    t.file = file;
    t.started = now;
    t.epoch = sources_[s].epoch;
    t.guard.Start(now);
    return true;
}

void DownloadScheduler::ReleaseDue(Millis now)
{
    std::vector<uint32_t> release;
    retries_.TakeDue(At(now), &release);
    for (uint32_t p : release)
        tracker_.Release(p);
    for (size_t i = 0; i < delayed_.size();) {
        if (delayed_[i].first <= now) {
            tracker_.Release(delayed_[i].second);
            delayed_[i] = delayed_.back();
            delayed_.pop_back();
        } else {
            ++i;
        }
    }
}

// A transfer is compared with its source's recent good transfers and with
// the other transfers running; under a speed limit its share of the limit
// lowers the bar, since the limiter itself slows every connection down.
uint64_t DownloadScheduler::TrickleFloor(uint64_t othersRate) const
{
    uint64_t floor = std::max(kTrickleFloorBytesPerSecond, othersRate / kTrickleRatio);
    if (settings_.rateLimit) {
        uint64_t share = settings_.rateLimit / static_cast<uint64_t>(std::max(1, settings_.connections));
        floor = std::min(floor, share / 4);
    }
    return floor;
}

void DownloadScheduler::DropTrickles(uint32_t s, Millis now)
{
    Source& source = sources_[s];
    std::vector<TransferBytes> progress;
    source.port->Progress(&progress);
    std::unordered_set<uint64_t> running;
    for (const TransferBytes& b : progress) {
        running.insert(b.transfer);
        auto it = transfers_.find(b.transfer);
        if (it != transfers_.end())
            it->second.bytes = b.bytes;
    }
    // A stream ends with its last piece; it is gone from the running ones
    // once all its pieces were handed over.
    for (auto it = transfers_.begin(); it != transfers_.end();)
        it = it->second.source == s && it->second.stream && !running.count(it->first) ? transfers_.erase(it) : ++it;
    std::vector<uint64_t> judged;
    for (auto& [id, t] : transfers_)
        if (t.source == s && !t.dropped && t.guard.WindowEnded(now, t.bytes))
            judged.push_back(id);
    for (uint64_t id : judged) {
        Transfer& t = transfers_[id];
        uint64_t others = 0;
        for (const Source& any : sources_)
            others = std::max(others, any.pieceRate);
        for (const auto& [otherId, other] : transfers_)
            if (otherId != id)
                others = std::max(others, other.guard.LastRate());
        if (t.guard.LastRate() < TrickleFloor(others)) {
            std::fprintf(stderr, "zdl-core: piece %u of %s: %llu bytes/s, dropping the connection\n", t.piece,
                desc_.files[t.file].path.c_str(), static_cast<unsigned long long>(t.guard.LastRate()));
            t.dropped = true;
            source.port->Drop(id);
        }
    }
}

bool DownloadScheduler::Fetched(const FetchDone& d, Millis now)
{
    if (d.httpStatus != 0 && !OnPeer(d.transfer))
        lastAnswer_ = now; // the server is there
    uint32_t file = desc_.Locate(d.piece).file;
    Transfer t;
    bool known = false;
    if (auto it = transfers_.find(d.transfer); it != transfers_.end()) {
        t = it->second;
        known = true;
        if (!t.stream)
            transfers_.erase(it);
    }
    Source& source = sources_[known ? t.source : 0];
    if (d.cause == FetchCause::Cancelled) {
        tracker_.Release(d.piece);
        return false;
    }
    const uint32_t s = known ? t.source : 0;
    if (source.peer && !d.ok) {
        retries_.ProbeNotStarted(file);
        if (d.cause == FetchCause::HttpStatus && !d.rangeIgnored && !IsBusyStatus(d.httpStatus)) {
            // Not verified there yet ("404"): that peer is asked again later.
            source.notYet[d.piece] = now + kPeerNotYetMs;
            if (d.retryAfterMs >= 0 && ++peerComing_[d.piece] <= kMaxPeerComing) {
                // The peer is fetching it from a server: wait for it there.
                Millis wait = std::clamp<Millis>(d.retryAfterMs, 250, kPeerNotYetMs);
                source.notYet[d.piece] = now + wait;
                delayed_.emplace_back(now + wait, d.piece);
                return false;
            }
            // Often a peer lacks a piece because it is fetching it from the
            // servers right now. The first time no peer has a piece, it
            // waits for them while other pieces go on; the second time it
            // comes from the servers. The wait is drawn at random, so that
            // two cores after the same piece do not ask in step and both
            // fetch it from the servers: the first to come back fetches it,
            // the other finds it at that peer.
            bool otherPeer = false;
            for (uint32_t o = 0; o < sources_.size() && !otherPeer; ++o)
                otherPeer = o != s && sources_[o].peer && !sources_[o].dropped
                    && !(sources_[o].notYet.count(d.piece) && now < sources_[o].notYet.at(d.piece));
            const uint32_t free = tracker_.PieceCount() - tracker_.DonePieces() - tracker_.InFlightPieces();
            if (!otherPeer && free > 0 && peerWaited_.insert(d.piece).second) {
                std::uniform_int_distribution<Millis> wait(kPeerNotYetMs, kPeerWaitMaxMs);
                delayed_.emplace_back(now + wait(random_), d.piece);
                return false;
            }
            tracker_.Release(d.piece);
            return false;
        }
        tracker_.Release(d.piece);
        if (d.cause == FetchCause::Timeout || d.cause == FetchCause::ShortBody || d.rangeIgnored) {
            DropPeer(s, d.cause == FetchCause::Timeout ? "too slow" : "answered a range with something else");
        } else if (!(known && t.epoch != source.epoch)) {
            // Busy or gone: it waits like a server, and its pieces go on
            // from the others meanwhile.
            ++source.waits;
            ++source.epoch;
            source.busy = IsBusyStatus(d.httpStatus);
            source.waitUntil = now
                + (source.busy ? SpreadBackoff(source.waits, kFirstBusyWaitMs, kMaxBusyWaitMs, 0, random_)
                               : SpreadBackoff(source.waits, kFirstSilentWaitMs, kMaxSilentWaitMs, 0, random_));
        }
        return false;
    }
    if (d.rangeIgnored || d.streamTail) {
        // Not a failure of the piece: it comes again by a stream of its file.
        if (d.rangeIgnored && source.streamFiles.insert(file).second)
            std::fprintf(stderr, "zdl-core: server %u ignores Range for %s: fetching it whole\n", s,
                desc_.files[file].path.c_str());
        tracker_.Release(d.piece);
        return false;
    }
    if (d.ok) {
        source.notYet.erase(d.piece);
        source.streak.Succeeded();
        source.waits = 0;
        source.busy = false;
        source.waitUntil = 0;
        if (known && !t.stream && tracker_.LengthOf(d.piece) >= std::min(kMinRateSampleBytes, desc_.pieceSize)) {
            uint64_t rate = uint64_t(tracker_.LengthOf(d.piece)) * 1000
                / static_cast<uint64_t>(std::max<Millis>(1, now - t.started));
            source.pieceRate = source.pieceRate ? (source.pieceRate * 3 + rate) / 4 : rate;
        }
        source.misses.erase(file);
        pieceSource_[d.piece] = s;
        std::vector<uint32_t> release;
        if (retries_.Succeeded(file, &release)) {
            for (uint32_t p : release)
                tracker_.Release(p);
            std::fprintf(stderr, "zdl-core: %s is served again\n", desc_.files[file].path.c_str());
        }
        return true;
    }
    const int code = FailureCode(d.cause, d.httpStatus);
    if (IsBusyStatus(d.httpStatus) || d.httpStatus == 0 || d.cause == FetchCause::Timeout) {
        // Not the file's fault: if the piece was probing a failing file,
        // the file gets another probe.
        retries_.ProbeNotStarted(file);
    }
    if (IsBusyStatus(d.httpStatus) || d.httpStatus == 0) {
        tracker_.Release(d.piece);
        // The source is busy or silent: all its connections wait once.
        if (known && t.epoch != source.epoch)
            return false; // started before the wait began: the same event
        source.streak.Failed(now, code);
        source.failingFile = file;
        source.busy = IsBusyStatus(d.httpStatus);
        ++source.waits;
        ++source.epoch;
        Millis wait = source.busy ? SpreadBackoff(source.waits, kFirstBusyWaitMs, kMaxBusyWaitMs,
                          std::min<Millis>(d.retryAfterMs < 0 ? 0 : d.retryAfterMs, kMaxRetryAfterMs), random_)
                                  : SpreadBackoff(source.waits, kFirstSilentWaitMs, kMaxSilentWaitMs, 0, random_);
        source.waitUntil = now + wait;
        if (source.waits <= 3 || source.waits % 20 == 0)
            std::fprintf(stderr, "zdl-core: piece %u: %s (waiting %lld ms)\n", d.piece, d.error.c_str(),
                static_cast<long long>(wait));
        return false;
    }
    if (d.cause == FetchCause::Timeout) {
        // A trickle was dropped: the piece goes to the next connection.
        tracker_.Release(d.piece);
        source.streak.Failed(now, code);
        source.failingFile = file;
        Demote(s, now, "too slow");
        return false;
    }
    // The source answers but does not serve this file: another source
    // takes it while one is left that has not failed it; when every source
    // fails it, the file waits on its own and the connections take other
    // work, the piece parked.
    FileMiss& miss = source.misses[file];
    ++miss.failures;
    miss.until = now + FileRetryBook::BackoffMs(miss.failures);
    bool elsewhere = false;
    for (uint32_t other = 0; other < sources_.size(); ++other)
        elsewhere = elsewhere || (other != s && !Misses(other, file, now));
    if (elsewhere) {
        if (miss.failures <= 3 || miss.failures % 10 == 0)
            std::fprintf(stderr, "zdl-core: piece %u of %s: %s from mirror %u (failure %d): trying another\n", d.piece,
                desc_.files[file].path.c_str(), d.error.c_str(), s, miss.failures);
        tracker_.Release(d.piece);
        retries_.ProbeNotStarted(file);
        return false;
    }
    int n = retries_.Failed(file, d.piece, code, At(now));
    if (n <= 3 || n % 10 == 0)
        std::fprintf(stderr, "zdl-core: piece %u of %s: %s (failure %d, next try in %d ms)\n", d.piece,
            desc_.files[file].path.c_str(), d.error.c_str(), n, FileRetryBook::BackoffMs(n));
    return false;
}

void DownloadScheduler::Verdict(uint32_t piece, bool good, Millis now)
{
    int from = -1;
    if (auto it = pieceSource_.find(piece); it != pieceSource_.end()) {
        from = static_cast<int>(it->second);
        pieceSource_.erase(it);
    }
    Source* source = from >= 0 ? &sources_[static_cast<size_t>(from)] : nullptr;
    if (good) {
        tracker_.MarkDone(piece);
        hashFailures_.erase(piece);
        badSources_.erase(piece);
        hashStreak_ = 0;
        if (source) {
            source->stats.goodBytes += tracker_.LengthOf(piece);
            source->faults = 0;
        }
        return;
    }
    // Bytes that do not match the description never count; the piece is
    // fetched again after a pause of its own (it stays "in flight"), or at
    // once from a source that has not sent a bad copy of it. The source
    // that sent it is demoted and does not get the file again soon.
    if (source && source->peer) {
        // Bytes no server sent say nothing about the release: the piece
        // comes at once from another source, and the peer is gone.
        source->stats.badBytes += tracker_.LengthOf(piece);
        DropPeer(static_cast<uint32_t>(from), "sent a piece that failed its hash check");
        delayed_.emplace_back(now, piece);
        return;
    }
    int n = ++hashFailures_[piece];
    Millis delay = n > 6 ? kMaxPieceDelayMs : Doubling(n + 2, 250, 15000);
    if (source) {
        const uint32_t s = static_cast<uint32_t>(from);
        source->stats.badBytes += tracker_.LengthOf(piece);
        uint64_t& failedOn = badSources_[piece];
        failedOn |= uint64_t(1) << s;
        FileMiss& miss = source->misses[desc_.Locate(piece).file];
        ++miss.failures;
        miss.until = now + FileRetryBook::BackoffMs(miss.failures + 4);
        Demote(s, now, "sent a piece that failed its hash check");
        for (uint32_t other = 0; other < sources_.size(); ++other)
            if (!(failedOn >> other & 1))
                delay = 0;
    }
    delayed_.emplace_back(now + delay, piece);
    std::fprintf(stderr, "zdl-core: piece %u failed its hash check\n", piece);
    if (++hashStreak_ >= kDoubtReleaseAfter && now >= nextRecheck_)
        doubt_ = true;
}

void DownloadScheduler::ReleaseChecked(bool changed, Millis now)
{
    doubt_ = false;
    if (changed)
        return;
    // The release stands: the server sends some bad bytes. Those pieces
    // go on waiting on their own delays; the digest is read again only
    // after a growing pause.
    hashStreak_ = 0;
    ++rechecks_;
    nextRecheck_ = now + Doubling(rechecks_, kFirstReleaseRecheckMs, kMaxReleaseRecheckMs);
}

void DownloadScheduler::Received(uint64_t bytes, Millis now)
{
    if (bytes)
        lastBytes_ = now;
}

bool DownloadScheduler::GaveUp(Millis now) const
{
    return now - lastBytes_ >= settings_.giveUpMs && now - lastAnswer_ >= settings_.giveUpMs;
}

SchedulerReport DownloadScheduler::Report(Millis now) const
{
    SchedulerReport r;
    // A source failing is only worth a word while every source fails.
    bool allFailing = true;
    for (const Source& s : sources_)
        allFailing = allFailing && (s.peer || s.streak.Failing());
    for (const Source& s : sources_) {
        if (!allFailing)
            break;
        if (s.peer)
            continue;
        r.serverBusy = r.serverBusy || s.busy;
        if (!r.error && s.streak.Lasting(now)) {
            r.error = true;
            r.code = s.streak.Code();
            r.file = s.failingFile;
        }
    }
    if (r.error)
        return r;
    uint32_t file = 0;
    int failures = 0;
    long code = 0;
    FileRetryBook::Clock::time_point since;
    if (retries_.Worst(&file, &failures, &code, &since)
        && (failures >= kLastingFailures || At(now) - since >= std::chrono::milliseconds(kLastingFailureMs))) {
        r.error = true;
        r.code = static_cast<int>(code);
        r.file = file;
        return r;
    }
    for (const auto& [piece, n] : hashFailures_) {
        if (n >= kLastingFailures) {
            r.error = true;
            r.code = kCodeHashMismatch;
            r.file = desc_.Locate(piece).file;
            break;
        }
    }
    return r;
}

} // namespace zdl::core
