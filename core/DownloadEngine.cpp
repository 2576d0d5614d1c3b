#include "core/DownloadEngine.h"

#include "core/DownloadDescription.h"
#include "core/FileRetryBook.h"
#include "core/HttpTransport.h"
#include "core/LocalChecker.h"
#include "core/PieceFetcher.h"
#include "core/PieceStore.h"
#include "core/PieceTracker.h"
#include "core/PieceWriter.h"
#include "core/RateLimiter.h"
#include "core/ResumeState.h"
#include "platform/FileSystem.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace zdl::core {

namespace {

    using Clock = std::chrono::steady_clock;

    constexpr int kLockWaitMs = 8000; // for a core that is still quitting
    constexpr int kRetryWaitMs = 2000; // local problems (held files, full disk)
    constexpr int kMaxBackoffMs = 15000; // network retries
    constexpr int kBadSeedWaitMs = 30000; // a broken description is not fixed quickly
    constexpr int kCheckThreads = 2;
    constexpr int kMaxPieceDelayMs = 60000; // a piece the server keeps sending wrong
    constexpr int kReportFileFailures = 3; // a file failing this often in a row is reported
    constexpr int kStreamWaitMs = 1000; // a piece whose file is being streamed
#ifdef _WIN32
    constexpr char kLockReportName[] = ".zdlcore\\lock";
#else
    constexpr char kLockReportName[] = ".zdlcore/lock";
#endif

    int64_t MsSince(Clock::time_point t)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    }

    int BackoffMs(int failures)
    {
        int ms = 250;
        for (int i = 1; i < failures && ms < kMaxBackoffMs; ++i)
            ms *= 2;
        return ms < kMaxBackoffMs ? ms : kMaxBackoffMs;
    }

    // One run of the phases; the engine object only owns the thread.
    class EngineRun {
    public:
        EngineRun(const CoreOptions& o, StatusBoard& b, std::atomic<bool>& stop)
            : opt_(o)
            , board_(b)
            , stop_(stop)
        {
            info_ = opt_.dir + "/" + kInfoFolderName;
        }

        void Run();

    private:
        enum class Step { Next, Retry, Stop, GiveUp };

        bool Sleep(int ms);
        bool Init();
        Step FetchDigest();
        Step LoadDescription();
        Step CreateFiles(std::vector<bool>* fresh);
        bool Check(const std::vector<bool>& fresh, std::vector<bool>* good);
        Step Download(std::vector<bool> good);
        void ReportFailingFile(const FileRetryBook& retries);
        bool StartStream(uint32_t file, uint32_t piece, PieceTracker& tracker, PieceFetcher& fetcher,
            std::vector<std::pair<Clock::time_point, uint32_t>>& delayed);
        void Complete();

        const CoreOptions& opt_;
        StatusBoard& board_;
        std::atomic<bool>& stop_;
        std::string info_;
        FileLock lock_;

        Sha256Digest digest_ {};
        uint64_t digestSize_ = 0;
        std::string descBytes_;
        DownloadDescription desc_;
        std::unique_ptr<PieceStore> store_;
        ResumeState resume_;
        bool haveResume_ = false;
    };

    bool EngineRun::Sleep(int ms)
    {
        auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until) {
            if (stop_.load())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return !stop_.load();
    }

    bool EngineRun::Init()
    {
        board_.SetPhase(Phase::Initing);
        auto start = Clock::now();
        bool reported = false;
        while (!stop_.load()) {
            FsStatus st;
            if (CreateDirectories(info_, &st)) {
                if (lock_.TryAcquire(info_ + "/lock", &st)) {
                    board_.ClearError(CoreError::OpenFile);
                    return true;
                }
            }
            if (!reported && (st.kind != FsErrorKind::InUse || MsSince(start) >= kLockWaitMs)) {
                // Another core keeps the folder, or the folder cannot be made.
                board_.SetError(
                    CoreError::OpenFile, st.code, st.kind == FsErrorKind::InUse ? kLockReportName : kInfoFolderName);
                board_.SetPhase(Phase::InitError);
                std::fprintf(
                    stderr, "zdl-core: cannot take the install folder %s (error %d)\n", opt_.dir.c_str(), st.code);
                reported = true;
            }
            Sleep(reported ? kRetryWaitMs : 200);
        }
        return false;
    }

    EngineRun::Step EngineRun::FetchDigest()
    {
        board_.SetPhase(Phase::GetSeedMd5);
        std::string body, detail;
        long status = 0;
        FetchOutcome r = FetchSmallFile(
            opt_.httpUrl + "/" + opt_.torrent + ".digest", kMaxDigestBytes, stop_, &body, &detail, &status);
        if (r == FetchOutcome::Cancelled)
            return Step::Stop;
        if (r == FetchOutcome::Ok && ParseDigestText(body, &digest_, &digestSize_)) {
            board_.ClearError(CoreError::DownloadTorrent);
            return Step::Next;
        }
        if (r == FetchOutcome::Ok)
            detail = "malformed digest";
        std::fprintf(stderr, "zdl-core: digest: %s\n", detail.c_str());
        board_.SetError(CoreError::DownloadTorrent, static_cast<int>(status), opt_.torrent + ".digest");
        board_.SetPhase(Phase::GetSeedMd5Fail);
        return Step::Retry;
    }

    EngineRun::Step EngineRun::LoadDescription()
    {
        board_.SetPhase(Phase::CheckSeedFile);
        const std::string local = info_ + "/seed";
        std::string bytes;
        FsStatus st;
        bool haveLocal = ReadWholeFile(local, kMaxDescriptionBytes, &bytes, &st) && bytes.size() == digestSize_
            && Sha256::Of(bytes.data(), bytes.size()) == digest_;
        if (!haveLocal) {
            board_.SetPhase(Phase::DownloadSeedFile);
            std::string detail;
            // The digest line declares the size: a longer body is cut off
            // at once, so an endless answer costs neither time nor memory.
            long status = 0;
            FetchOutcome r = FetchSmallFile(
                opt_.httpUrl + "/" + opt_.torrent, static_cast<size_t>(digestSize_), stop_, &bytes, &detail, &status);
            if (r == FetchOutcome::Cancelled)
                return Step::Stop;
            if (r == FetchOutcome::Ok
                && (bytes.size() != digestSize_ || Sha256::Of(bytes.data(), bytes.size()) != digest_)) {
                r = FetchOutcome::HttpError;
                status = 0;
                detail = "description does not match its digest";
            }
            if (r != FetchOutcome::Ok) {
                std::fprintf(stderr, "zdl-core: description: %s\n", detail.c_str());
                board_.SetError(CoreError::DownloadSeed, static_cast<int>(status), opt_.torrent);
                board_.SetPhase(Phase::DownloadSeedFileFail);
                return Step::Retry;
            }
        }
        board_.SetPhase(Phase::AnalysisSeed);
        std::string why;
        if (!ParseDescription(bytes, &desc_, &why)) {
            std::fprintf(stderr, "zdl-core: description refused: %s\n", why.c_str());
            RemoveFile(local);
            board_.SetError(CoreError::ReadSeed, 0, opt_.torrent);
            board_.SetPhase(Phase::DownloadSeedFileFail);
            Sleep(kBadSeedWaitMs);
            return stop_.load() ? Step::Stop : Step::Retry;
        }
        board_.ClearError(CoreError::DownloadSeed);
        board_.ClearError(CoreError::ReadSeed);
        if (!haveLocal)
            WriteFileAtomically(local, bytes, &st); // only saves a later download
        descBytes_.swap(bytes);
        std::vector<std::string> names;
        for (const DescribedFile& f : desc_.files)
            names.push_back(f.path);
        board_.SetFileNames(std::move(names));
        board_.SetBytes(desc_.totalSize, 0);

        std::string stateBytes;
        haveResume_ = ReadWholeFile(info_ + "/state", 2 * kMaxPieces + 4096, &stateBytes, &st)
            && DecodeResumeState(stateBytes, desc_.PieceCount(), &resume_) && resume_.description == digest_;
        return Step::Next;
    }

    EngineRun::Step EngineRun::CreateFiles(std::vector<bool>* fresh)
    {
        board_.SetPhase(Phase::CreateFile);
        store_ = std::make_unique<PieceStore>(desc_, opt_.dir);
        fresh->assign(desc_.files.size(), false);
        uint64_t reserved = 0; // files are created at full size
        bool cleared = false;
        for (uint32_t i = 0; i < desc_.files.size();) {
            if (stop_.load())
                return Step::Stop;
            bool existed = false;
            FsStatus st;
            if (store_->PrepareFile(i, &existed, &st)) {
                (*fresh)[i] = !existed;
                reserved += desc_.files[i].size;
                board_.SetReservedBytes(reserved, PieceWriter::StateBytesFor(desc_.PieceCount()));
                ++i;
                if (cleared)
                    continue;
                board_.ClearError(CoreError::WriteFile);
                board_.ClearError(CoreError::SetFileSize);
                board_.ClearError(CoreError::OpenFile);
                cleared = true;
                continue;
            }
            cleared = false;
            std::string path = store_->ReportName(i);
            if (st.kind == FsErrorKind::InUse || st.kind == FsErrorKind::Denied) {
                board_.SetError(CoreError::OpenFile, st.code, path);
                board_.SetPhase(Phase::AnalysisSeedError);
            } else {
                board_.SetError(
                    st.kind == FsErrorKind::NoSpace ? CoreError::WriteFile : CoreError::SetFileSize, st.code, path);
                board_.SetPhase(Phase::CreateFile);
            }
            std::fprintf(stderr, "zdl-core: cannot create %s (error %d)\n", path.c_str(), st.code);
            store_->CloseAll();
            if (!Sleep(kRetryWaitMs))
                return Step::Stop;
            board_.SetPhase(Phase::CreateFile);
        }
        return Step::Next;
    }

    bool EngineRun::Check(const std::vector<bool>& fresh, std::vector<bool>* good)
    {
        board_.SetPhase(Phase::AllFileCheckMd5);
        board_.SetVerifyProgress(0);
        uint32_t count = desc_.PieceCount();
        good->assign(count, false);
        std::vector<uint32_t> toCheck;
        uint64_t trustedBytes = 0, checkBytes = 0;
        int64_t stateTime = 0;
        bool haveStateTime = haveResume_ && GetModifiedTime(info_ + "/state", &stateTime);
        for (uint32_t f = 0; f < desc_.files.size(); ++f) {
            const DescribedFile& file = desc_.files[f];
            // A file changed after the state was written (by the game, the
            // player, or our own writes just before a crash) is checked whole.
            int64_t fileTime = 0;
            bool changed = !haveStateTime || !GetModifiedTime(store_->PathOf(f), &fileTime) || fileTime > stateTime;
            for (uint32_t p = file.firstPiece; p < file.firstPiece + file.pieceCount; ++p) {
                if (fresh[f])
                    continue; // just created: nothing to find in it
                uint32_t len = desc_.Locate(p).length;
                if (haveResume_ && resume_.good[p] && !resume_.recheck[p] && !changed) {
                    (*good)[p] = true;
                    trustedBytes += len;
                } else {
                    toCheck.push_back(p);
                    checkBytes += len;
                }
            }
        }
        board_.SetBytes(desc_.totalSize, trustedBytes);
        auto started = Clock::now();
        CheckResult r = CheckPieces(
            desc_, *store_, toCheck, kCheckThreads, stop_,
            [&](uint64_t done) { board_.SetVerifyProgress(checkBytes ? double(done) / double(checkBytes) : 1); }, good);
        if (r.stopped)
            return false;
        board_.SetVerifyProgress(1);
        uint64_t goodBytes = 0;
        for (uint32_t p = 0; p < count; ++p)
            if ((*good)[p])
                goodBytes += desc_.Locate(p).length;
        board_.SetBytes(desc_.totalSize, goodBytes);
        std::fprintf(stderr,
            "zdl-core: checked %u pieces, %u good, %llu bytes in %lld ms; %llu of %llu bytes present\n", r.checked,
            r.good, static_cast<unsigned long long>(checkBytes), static_cast<long long>(MsSince(started)),
            static_cast<unsigned long long>(goodBytes), static_cast<unsigned long long>(desc_.totalSize));
        return true;
    }

    EngineRun::Step EngineRun::Download(std::vector<bool> good)
    {
        board_.SetPhase(Phase::Downloading);
        std::vector<uint32_t> lengths(desc_.PieceCount());
        for (uint32_t p = 0; p < lengths.size(); ++p)
            lengths[p] = desc_.Locate(p).length;
        PieceTracker tracker(std::move(lengths));
        for (uint32_t p = 0; p < good.size(); ++p)
            if (good[p])
                tracker.MarkDone(p);
        if (tracker.Complete())
            return Step::Next;

        RateLimiter limiter(uint64_t(opt_.downloadLimitKBps) * 1024);
        PieceFetcher fetcher(opt_.httpThreads, limiter);
        if (!fetcher.Init())
            return Step::GiveUp;
        PieceWriter writer(desc_, digest_, *store_, board_, info_ + "/state", opt_.stateSaveMs,
            static_cast<size_t>(opt_.httpThreads) + 2);
        writer.Start(good, [&fetcher] { fetcher.Wakeup(); });

        std::vector<std::vector<uint8_t>> spare;
        std::vector<FetchDone> done;
        std::vector<PieceVerdict> verdicts;
        int failures = 0;
        auto nextRequest = Clock::now();
        // Pieces that failed their hash check wait on their own before the next
        // try (they stay "in flight" meanwhile), so one bad piece on the server
        // neither stalls the rest nor is fetched in a tight loop.
        std::unordered_map<uint32_t, int> hashFailures;
        FileRetryBook retries;
        std::unordered_set<uint32_t> streamFiles; // the server ignores Range for them
        std::vector<uint32_t> release;
        auto lastAnswer = Clock::now();
        std::vector<std::pair<Clock::time_point, uint32_t>> delayed;
        auto lastBytes = Clock::now();
        auto rateStart = Clock::now();
        uint64_t rateBytes = 0;
        Step result = Step::Next;

        while (true) {
            if (stop_.load()) {
                result = Step::Stop;
                break;
            }
            // At most "-HttpThread" pieces are fetched but not yet on disk at any
            // time (in transfer or waiting for the writer): that bounds what a
            // crash can lose.
            while (Clock::now() >= nextRequest && fetcher.IdleSlots() > 0 && !writer.DiskFull()
                && static_cast<size_t>(fetcher.BusySlots()) + writer.Pending()
                    < static_cast<size_t>(opt_.httpThreads)) {
                uint32_t p = 0;
                if (!tracker.TakeNext(&p))
                    break;
                PieceLocation loc = desc_.Locate(p);
                if (retries.ParkIfWaiting(loc.file, p, Clock::now()))
                    continue;
                if (streamFiles.count(loc.file)) {
                    if (!StartStream(loc.file, p, tracker, fetcher, delayed)) {
                        retries.ProbeNotStarted(loc.file);
                        break;
                    }
                    continue;
                }
                PieceRequest req;
                req.piece = p;
                req.url = FileAddress(opt_.httpUrl, desc_, loc.file);
                req.offset = loc.offset;
                req.length = loc.length;
                req.fileSize = desc_.files[loc.file].size;
                std::vector<uint8_t> buffer;
                if (!spare.empty()) {
                    buffer = std::move(spare.back());
                    spare.pop_back();
                }
                if (!fetcher.Start(req, std::move(buffer))) {
                    tracker.Release(p);
                    retries.ProbeNotStarted(loc.file);
                    break;
                }
            }
            release.clear();
            retries.TakeDue(Clock::now(), &release);
            for (uint32_t p : release)
                tracker.Release(p);
            for (size_t i = 0; i < delayed.size();) {
                if (delayed[i].first <= Clock::now()) {
                    tracker.Release(delayed[i].second);
                    delayed[i] = delayed.back();
                    delayed.pop_back();
                } else {
                    ++i;
                }
            }
            done.clear();
            size_t room = static_cast<size_t>(opt_.httpThreads) + 2;
            fetcher.Pump(50, &done, room > writer.Pending() ? room - writer.Pending() : 0);
            for (FetchDone& d : done) {
                uint32_t file = desc_.Locate(d.piece).file;
                if (d.httpStatus != 0)
                    lastAnswer = Clock::now(); // the server is there
                if (d.rangeIgnored || d.streamTail) {
                    // Not a failure of the piece: it comes again by a stream
                    // of its file.
                    if (d.rangeIgnored && streamFiles.insert(file).second)
                        std::fprintf(stderr, "zdl-core: the server ignores Range for %s: fetching it whole\n",
                            desc_.files[file].path.c_str());
                    tracker.Release(d.piece);
                    spare.push_back(std::move(d.data));
                    continue;
                }
                if (d.ok) {
                    failures = 0;
                    writer.Submit(d.piece, std::move(d.data));
                    release.clear();
                    if (retries.Succeeded(file, &release)) {
                        for (uint32_t p : release)
                            tracker.Release(p);
                        std::fprintf(stderr, "zdl-core: %s is served again\n", desc_.files[file].path.c_str());
                        ReportFailingFile(retries);
                    }
                    continue;
                }
                spare.push_back(std::move(d.data));
                board_.CountRetry();
                if (d.httpStatus == 0) {
                    // No answer at all: the server or the network is down,
                    // so every connection waits.
                    tracker.Release(d.piece);
                    ++failures;
                    nextRequest = Clock::now() + std::chrono::milliseconds(BackoffMs(failures));
                    if (failures <= 3 || failures % 20 == 0)
                        std::fprintf(stderr, "zdl-core: piece %u: %s\n", d.piece, d.error.c_str());
                    continue;
                }
                // The server answers but does not serve this file: the file
                // waits on its own and the connections take other work.
                int n = retries.Failed(file, d.piece, d.httpStatus, Clock::now());
                if (n <= 3 || n % 10 == 0)
                    std::fprintf(stderr, "zdl-core: piece %u of %s: %s (failure %d, next try in %d ms)\n", d.piece,
                        desc_.files[file].path.c_str(), d.error.c_str(), n, FileRetryBook::BackoffMs(n));
                if (n >= kReportFileFailures)
                    ReportFailingFile(retries);
            }
            verdicts.clear();
            writer.TakeVerdicts(&verdicts);
            for (PieceVerdict& v : verdicts) {
                if (v.good) {
                    tracker.MarkDone(v.piece);
                } else {
                    // Bytes that do not match the description never count; the
                    // piece is fetched again after a pause of its own.
                    int n = ++hashFailures[v.piece];
                    int delay = BackoffMs(n + 2);
                    if (n > 6)
                        delay = kMaxPieceDelayMs;
                    delayed.emplace_back(Clock::now() + std::chrono::milliseconds(delay), v.piece);
                    board_.CountHashFailure();
                    std::fprintf(stderr, "zdl-core: piece %u failed its hash check\n", v.piece);
                }
                spare.push_back(std::move(v.buffer));
            }
            if (spare.size() > static_cast<size_t>(opt_.httpThreads))
                spare.resize(static_cast<size_t>(opt_.httpThreads));
            uint64_t got = fetcher.TakeReceivedBytes();
            // Time spent waiting on a full disk or on the backoff of files
            // the server answered for does not count towards giving up.
            if (got || writer.DiskFull() || (fetcher.BusySlots() == 0 && Clock::now() >= nextRequest))
                lastBytes = Clock::now();
            rateBytes += got;
            int64_t rateMs = MsSince(rateStart);
            if (rateMs >= 1000) {
                board_.SetDownloadRate(double(rateBytes) * 1000.0 / double(rateMs));
                rateBytes = 0;
                rateStart = Clock::now();
            }
            board_.SetBytes(tracker.TotalBytes(), tracker.DoneBytes());
            if (tracker.Complete())
                break;
            if (MsSince(lastBytes) >= int64_t(opt_.giveUpSeconds) * 1000
                && MsSince(lastAnswer) >= int64_t(opt_.giveUpSeconds) * 1000) {
                std::fprintf(stderr, "zdl-core: no data from the server for %d s, giving up\n", opt_.giveUpSeconds);
                result = Step::GiveUp;
                break;
            }
        }
        done.clear();
        fetcher.CancelAll(&done);
        board_.SetDownloadRate(0);
        if (result == Step::Next)
            writer.Finish();
        else
            writer.Abort();
        return result;
    }

    // Fetches `file` whole on one connection, for a server that ignores
    // Range: every missing piece of the file (`piece`, just taken, among
    // them) rides on the stream. While a stream of the file runs, a piece
    // that comes free waits a moment for the next one.
    bool EngineRun::StartStream(uint32_t file, uint32_t piece, PieceTracker& tracker, PieceFetcher& fetcher,
        std::vector<std::pair<Clock::time_point, uint32_t>>& delayed)
    {
        if (fetcher.IsStreaming(file)) {
            delayed.emplace_back(Clock::now() + std::chrono::milliseconds(kStreamWaitMs), piece);
            return true;
        }
        const DescribedFile& f = desc_.files[file];
        StreamRequest r;
        r.file = file;
        r.url = FileAddress(opt_.httpUrl, desc_, file);
        r.fileSize = f.size;
        r.pieceSize = desc_.pieceSize;
        r.firstPiece = f.firstPiece;
        r.wanted.assign(f.pieceCount, false);
        for (uint32_t i = 0; i < f.pieceCount; ++i)
            r.wanted[i] = f.firstPiece + i == piece || tracker.Take(f.firstPiece + i);
        std::vector<bool> wanted = r.wanted;
        if (fetcher.StartStream(std::move(r)))
            return true;
        for (uint32_t i = 0; i < f.pieceCount; ++i)
            if (wanted[i])
                tracker.Release(f.firstPiece + i);
        return false;
    }

    // Reports the file that fails most often (once it failed often enough),
    // or clears the report when no file fails any more.
    void EngineRun::ReportFailingFile(const FileRetryBook& retries)
    {
        uint32_t file = 0;
        int failures = 0;
        long status = 0;
        if (retries.Worst(&file, &failures, &status) && failures >= kReportFileFailures)
            board_.SetError(CoreError::DownloadSeed, static_cast<int>(status), store_->ReportName(file));
        else if (failures < kReportFileFailures)
            board_.ClearError(CoreError::DownloadSeed);
    }

    void EngineRun::Complete()
    {
        store_->CloseAll();
        board_.SetBytes(desc_.totalSize, desc_.totalSize);
        if (opt_.deleteDownloadInfo) {
            RemoveFile(info_ + "/state");
            RemoveFile(info_ + "/state.tmp");
            RemoveFile(info_ + "/seed");
            // The engine ends here, so the folder is free; Windows cannot
            // delete a file it holds open, so let go of it first.
            lock_.Release();
            RemoveFile(info_ + "/lock");
        }
        board_.SetPhase(Phase::DownloadCompleted);
        std::fprintf(stderr, "zdl-core: download complete\n");
    }

    void EngineRun::Run()
    {
        if (!Init())
            return;
        Step s;
        // Phases 5 to 10, retried with backoff while the server fails.
        int failures = 0;
        auto firstFailure = Clock::now();
        while (true) {
            s = FetchDigest();
            if (s == Step::Next)
                s = LoadDescription();
            if (s == Step::Stop)
                return;
            if (s == Step::Next)
                break;
            if (failures++ == 0)
                firstFailure = Clock::now();
            if (MsSince(firstFailure) >= int64_t(opt_.giveUpSeconds) * 1000) {
                board_.SetPhase(Phase::Quit);
                return;
            }
            if (!Sleep(BackoffMs(failures)))
                return;
        }
        std::vector<bool> fresh, good;
        if (CreateFiles(&fresh) != Step::Next)
            return;
        if (!Check(fresh, &good))
            return;
        s = Download(std::move(good));
        if (s == Step::GiveUp) {
            board_.SetPhase(Phase::Quit);
            return;
        }
        if (s == Step::Next)
            Complete();
    }

} // namespace

DownloadEngine::DownloadEngine(const CoreOptions& options, StatusBoard& board)
    : options_(options)
    , board_(board)
{
}

DownloadEngine::~DownloadEngine()
{
    RequestStop();
    Join();
}

void DownloadEngine::Start()
{
    thread_ = std::thread([this] {
        {
            EngineRun run(options_, board_, stop_);
            run.Run();
        }
        finished_ = true;
    });
}

void DownloadEngine::RequestStop()
{
    stop_ = true;
}

void DownloadEngine::Join()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace zdl::core
