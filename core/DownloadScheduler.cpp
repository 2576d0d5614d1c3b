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

DownloadScheduler::DownloadScheduler(
    const DownloadDescription& desc, FetchPort& port, const SchedulerSettings& settings, Millis now)
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
    Source server;
    server.port = &port;
    sources_.push_back(server);
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
    for (uint32_t s = 0; s < sources_.size(); ++s) {
        DropTrickles(s, now);
        StartRequests(s, now);
        // Waiting on a full disk, on a busy source or on the backoff of
        // files the source answered for does not count towards giving up.
        const Source& source = sources_[s];
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

// At most `connections` pieces are fetched but not yet on disk at any time
// (in transfer or waiting for the writer): that bounds both memory and what
// a crash can lose.
void DownloadScheduler::StartRequests(uint32_t s, Millis now)
{
    Source& source = sources_[s];
    if (doubt_ || diskFull_ || now < source.waitUntil)
        return;
    const size_t budget = static_cast<size_t>(settings_.connections);
    while (source.port->IdleConnections() > 0 && transfers_.size() + writerPending_ < budget) {
        // After a wait one request probes the source; the others wait for it.
        if (source.waits > 0 && TransfersOf(s) > 0)
            return;
        uint32_t p = 0;
        if (!tracker_.TakeNext(&p))
            return;
        uint32_t file = desc_.Locate(p).file;
        if (retries_.ParkIfWaiting(file, p, At(now)))
            continue;
        if (streamFiles_.count(file)) {
            if (!StartStream(s, file, p, now)) {
                retries_.ProbeNotStarted(file);
                return;
            }
            continue;
        }
        uint64_t id = source.port->StartPiece(p);
        if (!id) {
            tracker_.Release(p);
            retries_.ProbeNotStarted(file);
            return;
        }
        Transfer& t = transfers_[id];
        t.source = s;
        t.piece = p;
        t.file = file;
        t.started = now;
        t.epoch = source.epoch;
        t.guard.Start(now);
    }
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
        if (t.source == s && t.guard.WindowEnded(now, t.bytes))
            judged.push_back(id);
    for (uint64_t id : judged) {
        const Transfer& t = transfers_[id];
        uint64_t others = source.pieceRate;
        for (const auto& [otherId, other] : transfers_)
            if (otherId != id)
                others = std::max(others, other.guard.LastRate());
        if (t.guard.LastRate() < TrickleFloor(others)) {
            std::fprintf(stderr, "zdl-core: piece %u of %s: %llu bytes/s, dropping the connection\n", t.piece,
                desc_.files[t.file].path.c_str(), static_cast<unsigned long long>(t.guard.LastRate()));
            source.port->Drop(id);
        }
    }
}

bool DownloadScheduler::Fetched(const FetchDone& d, Millis now)
{
    if (d.httpStatus != 0)
        lastAnswer_ = now; // the source is there
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
    if (d.rangeIgnored || d.streamTail) {
        // Not a failure of the piece: it comes again by a stream of its file.
        if (d.rangeIgnored && streamFiles_.insert(file).second)
            std::fprintf(stderr, "zdl-core: the server ignores Range for %s: fetching it whole\n",
                desc_.files[file].path.c_str());
        tracker_.Release(d.piece);
        return false;
    }
    if (d.ok) {
        source.streak.Succeeded();
        source.waits = 0;
        source.busy = false;
        source.waitUntil = 0;
        if (known && !t.stream) {
            uint64_t rate = uint64_t(tracker_.LengthOf(d.piece)) * 1000
                / static_cast<uint64_t>(std::max<Millis>(1, now - t.started));
            source.pieceRate = source.pieceRate ? (source.pieceRate * 3 + rate) / 4 : rate;
        }
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
        return false;
    }
    // The source answers but does not serve this file: the file waits on
    // its own and the connections take other work; the piece stays parked.
    int n = retries_.Failed(file, d.piece, code, At(now));
    if (n <= 3 || n % 10 == 0)
        std::fprintf(stderr, "zdl-core: piece %u of %s: %s (failure %d, next try in %d ms)\n", d.piece,
            desc_.files[file].path.c_str(), d.error.c_str(), n, FileRetryBook::BackoffMs(n));
    return false;
}

void DownloadScheduler::Verdict(uint32_t piece, bool good, Millis now)
{
    if (good) {
        tracker_.MarkDone(piece);
        hashFailures_.erase(piece);
        hashStreak_ = 0;
        return;
    }
    // Bytes that do not match the description never count; the piece is
    // fetched again after a pause of its own (it stays "in flight").
    int n = ++hashFailures_[piece];
    Millis delay = n > 6 ? kMaxPieceDelayMs : Doubling(n + 2, 250, 15000);
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
    for (const Source& s : sources_) {
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
