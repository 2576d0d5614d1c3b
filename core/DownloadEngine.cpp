#include "core/DownloadEngine.h"

#include "core/BuiltInKeys.h"
#include "core/DownloadDescription.h"
#include "core/DownloadScheduler.h"
#include "core/HttpTransport.h"
#include "core/LocalChecker.h"
#include "core/PieceFetcher.h"
#include "core/PieceStore.h"
#include "core/PieceWriter.h"
#include "core/RateLimiter.h"
#include "core/ReleaseSignature.h"
#include "core/ResumeState.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

namespace zdl::core {

namespace {

    using Clock = std::chrono::steady_clock;

    constexpr int kLockWaitMs = 8000; // for a core that is still quitting
    constexpr int kRetryWaitMs = 2000; // local problems (held files, full disk)
    constexpr int kMaxBackoffMs = 15000; // network retries
    constexpr int kBadSeedWaitMs = 30000; // a broken description is not fixed quickly
    constexpr int kCheckThreads = 2;
    constexpr size_t kSpareBuffers = 2; // piece buffers kept for reuse
#ifdef _WIN32
    constexpr char kLockReportName[] = ".zdlcore\\lock";
#else
    constexpr char kLockReportName[] = ".zdlcore/lock";
#endif

    int64_t MsSince(Clock::time_point t)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
    }

    // The scheduler's clock.
    Millis NowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    }

    // A failure of phases 5 to 10, reported once it is lasting.
    struct Failure {
        CoreError error = CoreError::DownloadSeed;
        int code = 0;
        std::string file;
    };

    // The code for a failed fetch of the digest or the description.
    int FetchFailureCode(FetchOutcome r, long status)
    {
        switch (r) {
        case FetchOutcome::Timeout:
            return kCodeTimeout;
        case FetchOutcome::TooLarge:
            return kCodeMalformed;
        case FetchOutcome::NetworkError:
            return status ? kCodeShortBody : kCodeNoConnection;
        default:
            return static_cast<int>(status);
        }
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
            keys_ = BuiltInKeys();
            PublicKey key;
            if (keys_.empty() && ParsePublicKey(opt_.trustedKey, &key))
                keys_.push_back(key);
            else if (!keys_.empty() && !opt_.trustedKey.empty())
                std::fprintf(stderr, "zdl-core: -TrustedKey ignored: this build trusts its own keys only\n");
        }

        void Run();

    private:
        // Restart: the release changed, phases 5 to 14 run again on it.
        enum class Step { Next, Retry, Stop, GiveUp, Restart };

        bool Sleep(int ms);
        bool Init();
        Step LoadRelease();
        Step FetchDigest(Failure* failure);
        Step CheckSignature(const std::string& digestBytes, Failure* failure);
        bool SignedAndNewer(const std::string& digestBytes, const Sha256Digest& digest, ReleaseRecord* release);
        void KeepReleaseRecord();
        Step LoadDescription(Failure* failure);
        Step CreateFiles(std::vector<bool>* fresh);
        bool Check(const std::vector<bool>& fresh, std::vector<bool>* good);
        Step Download(std::vector<bool> good);
        void Publish(const SchedulerReport& report);
        bool ReleaseChanged();
        void Complete();
        std::string DigestUrl() const { return opt_.httpUrl + "/" + opt_.torrent + ".digest"; }
        std::string SignatureName() const { return opt_.torrent + ".digest.minisig"; }
        // A file of ".zdlcore" relative to the install folder, for the
        // confined calls of the file layer.
        static std::string InfoPath(const char* name) { return std::string(kInfoFolderName) + "/" + name; }

        const CoreOptions& opt_;
        StatusBoard& board_;
        std::atomic<bool>& stop_;
        std::string info_;
        FileLock lock_;

        Sha256Digest digest_ {};
        uint64_t digestSize_ = 0;
        std::vector<Sha256Digest> left_; // releases this core left for a newer one
        std::vector<PublicKey> keys_; // empty: releases are taken unsigned
        ReleaseRecord accepted_; // the signed release being installed
        DownloadDescription desc_;
        std::unique_ptr<PieceStore> store_;
        ResumeState resume_;
        bool haveResume_ = false;
        SchedulerReport reported_;
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
            // The install folder itself may be a link (followed); its
            // ".zdlcore" and the lock in it may not.
            FsStatus st;
            if (CreateDirectories(opt_.dir, &st) && CreateDirectoriesBelow(opt_.dir, kInfoFolderName, &st)) {
                if (lock_.TryAcquireBelow(opt_.dir, InfoPath("lock"), &st)) {
                    board_.ClearError(CoreError::OpenFile);
                    return true;
                }
            }
            if (!reported && st.kind == FsErrorKind::Link) {
                board_.SetError(CoreError::OpenFile, kCodeLinkRefused, ReportPath(st.entry));
                board_.SetPhase(Phase::InitError);
                std::fprintf(stderr, "zdl-core: %s in the install folder is a link: refused\n", st.entry.c_str());
                reported = true;
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

    EngineRun::Step EngineRun::FetchDigest(Failure* failure)
    {
        board_.SetPhase(Phase::GetSeedMd5);
        std::string body, detail;
        long status = 0;
        FetchOutcome r = FetchSmallFile(DigestUrl(), kMaxDigestBytes, stop_, &body, &detail, &status);
        if (r == FetchOutcome::Cancelled)
            return Step::Stop;
        if (r == FetchOutcome::Ok && ParseDigestText(body, &digest_, &digestSize_)) {
            Step s = keys_.empty() ? Step::Next : CheckSignature(body, failure);
            if (s == Step::Next)
                board_.ClearError(CoreError::DownloadTorrent);
            return s;
        }
        failure->error = CoreError::DownloadTorrent;
        failure->code = FetchFailureCode(r, status);
        failure->file = opt_.torrent + ".digest";
        if (r == FetchOutcome::Ok) {
            // Malformed, or declaring a description beyond the limits.
            detail = "malformed digest";
            failure->code = kCodeMalformed;
        }
        std::fprintf(stderr, "zdl-core: digest: %s\n", detail.c_str());
        board_.SetPhase(Phase::GetSeedMd5Fail);
        return Step::Retry;
    }

    // The code a refused signature is reported with.
    int SignatureCode(SignatureVerdict v)
    {
        switch (v) {
        case SignatureVerdict::UnknownKey:
            return kCodeUnknownKey;
        case SignatureVerdict::BadSignature:
            return kCodeBadSignature;
        case SignatureVerdict::NoTimestamp:
            return kCodeNoSignedTime;
        default:
            return kCodeMalformedSignature;
        }
    }

    // The release the install folder holds, if a signed one was accepted.
    // Read confined like the core's other files: a link planted in its
    // place counts as no record.
    bool ReadReleaseRecord(const std::string& dir, ReleaseRecord* held)
    {
        std::string text;
        FsStatus st;
        return ReadWholeFileBelow(
                   dir, std::string(kInfoFolderName) + "/" + kReleaseRecordName, kMaxReleaseRecordBytes, &text, &st)
            && ParseReleaseRecord(text, held);
    }

    // With trusted keys, the digest counts only when its signature verifies
    // and the release is not older than the one the folder holds. A refusal
    // is reported at once: waiting for it to last would only hide it, and
    // nothing was written for the release.
    EngineRun::Step EngineRun::CheckSignature(const std::string& digestBytes, Failure* failure)
    {
        std::string sig, detail;
        long status = 0;
        FetchOutcome r = FetchSmallFile(DigestUrl() + ".minisig", kMaxSignatureBytes, stop_, &sig, &detail, &status);
        if (r == FetchOutcome::Cancelled)
            return Step::Stop;
        failure->error = CoreError::DownloadTorrent;
        failure->file = SignatureName();
        failure->code = 0;
        if (r == FetchOutcome::Ok) {
            SignatureCheck c = VerifyReleaseSignature(sig, digestBytes, keys_);
            ReleaseRecord held;
            if (c.verdict != SignatureVerdict::Valid) {
                failure->code = SignatureCode(c.verdict);
                detail = c.reason;
            } else if (accepted_.timestamp != 0 && !MayFollow(accepted_, { c.timestamp, digest_ })) {
                // This core already took a newer release (the record may
                // not have been written on a full disk).
                failure->code = kCodeOlderRelease;
                detail = "signed at " + std::to_string(c.timestamp) + ", older than the release being installed";
            } else if (ReadReleaseRecord(opt_.dir, &held) && !MayFollow(held, { c.timestamp, digest_ })) {
                failure->code = kCodeOlderRelease;
                detail = "signed at " + std::to_string(c.timestamp) + ", the folder holds a release signed at "
                    + std::to_string(held.timestamp);
            } else {
                accepted_ = { c.timestamp, digest_ };
                std::fprintf(stderr, "zdl-core: release signed by key %s at %lld\n", KeyIdText(c.keyId).c_str(),
                    static_cast<long long>(c.timestamp));
                return Step::Next;
            }
        } else if (r == FetchOutcome::HttpError && (status == 404 || status == 410)) {
            failure->code = kCodeNoSignature;
        } else if (r == FetchOutcome::TooLarge) {
            failure->code = kCodeMalformedSignature;
            detail = "signature file too large";
        } else {
            // The server did not answer: a transfer failure like any other.
            failure->code = FetchFailureCode(r, status);
            std::fprintf(stderr, "zdl-core: signature: %s\n", detail.c_str());
            board_.SetPhase(Phase::GetSeedMd5Fail);
            return Step::Retry;
        }
        std::fprintf(stderr, "zdl-core: release refused: %s (%s)\n", detail.c_str(), SignatureName().c_str());
        board_.SetError(failure->error, failure->code, failure->file);
        board_.SetPhase(Phase::GetSeedMd5Fail);
        return Step::Retry;
    }

    // Once the signed release's description is loaded: the folder now holds
    // it, and no older one may follow.
    void EngineRun::KeepReleaseRecord()
    {
        ReleaseRecord held;
        if (ReadReleaseRecord(opt_.dir, &held) && held.timestamp == accepted_.timestamp
            && held.description == accepted_.description)
            return;
        FsStatus st;
        if (!WriteFileAtomicallyBelow(opt_.dir, InfoPath(kReleaseRecordName), MakeReleaseRecord(accepted_), &st))
            std::fprintf(stderr, "zdl-core: cannot keep the release record (error %d)\n", st.code);
    }

    EngineRun::Step EngineRun::LoadDescription(Failure* failure)
    {
        board_.SetPhase(Phase::CheckSeedFile);
        const std::string local = InfoPath("seed");
        std::string bytes;
        FsStatus st;
        bool haveLocal = ReadWholeFileBelow(opt_.dir, local, kMaxDescriptionBytes, &bytes, &st)
            && bytes.size() == digestSize_ && Sha256::Of(bytes.data(), bytes.size()) == digest_;
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
            failure->error = CoreError::DownloadSeed;
            failure->code = FetchFailureCode(r, status);
            failure->file = opt_.torrent;
            if (r == FetchOutcome::Ok
                && (bytes.size() != digestSize_ || Sha256::Of(bytes.data(), bytes.size()) != digest_)) {
                r = FetchOutcome::HttpError;
                failure->code = bytes.size() != digestSize_ ? kCodeShortBody : kCodeHashMismatch;
                detail = "description does not match its digest";
            }
            if (r != FetchOutcome::Ok) {
                std::fprintf(stderr, "zdl-core: description: %s\n", detail.c_str());
                board_.SetPhase(Phase::DownloadSeedFileFail);
                return Step::Retry;
            }
        }
        board_.SetPhase(Phase::AnalysisSeed);
        std::string why;
        if (!ParseDescription(bytes, &desc_, &why)) {
            std::fprintf(stderr, "zdl-core: description refused: %s\n", why.c_str());
            RemoveFileBelow(opt_.dir, local, &st);
            // It matched its digest: the publication is broken, not the
            // transfer, so it is reported at once.
            board_.SetError(CoreError::ReadSeed, kCodeMalformed, opt_.torrent);
            board_.SetPhase(Phase::DownloadSeedFileFail);
            Sleep(kBadSeedWaitMs);
            return stop_.load() ? Step::Stop : Step::Retry;
        }
        board_.ClearError(CoreError::DownloadSeed);
        board_.ClearError(CoreError::ReadSeed);
        if (!haveLocal)
            WriteFileAtomicallyBelow(opt_.dir, local, bytes, &st); // only saves a later download
        std::string().swap(bytes); // the parsed form is all that is needed now
        std::vector<std::string> names;
        names.reserve(desc_.files.size());
        for (const DescribedFile& f : desc_.files)
            names.push_back(f.path);
        board_.SetFileNames(std::move(names));
        board_.SetBytes(desc_.totalSize, 0);

        std::string stateBytes;
        haveResume_ = ReadWholeFileBelow(opt_.dir, InfoPath("state"), 2 * kMaxPieces + 4096, &stateBytes, &st)
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
            std::string path = store_->ReportName(i, st);
            if (st.kind == FsErrorKind::Link) {
                // Nothing is written through it: the player removes it.
                board_.SetError(CoreError::OpenFile, kCodeLinkRefused, path);
                board_.SetPhase(Phase::CreateFile);
            } else if (st.kind == FsErrorKind::InUse || st.kind == FsErrorKind::Denied) {
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

    // The server as the scheduler's source of pieces: PieceFetcher's
    // connections, the files' addresses and the buffers they reuse.
    class ServerPort : public FetchPort {
    public:
        ServerPort(const CoreOptions& o, const DownloadDescription& d, PieceFetcher& f)
            : opt_(o)
            , desc_(d)
            , fetcher_(f)
        {
        }

        int IdleConnections() const override { return fetcher_.IdleSlots(); }

        uint64_t StartPiece(uint32_t piece) override
        {
            PieceLocation loc = desc_.Locate(piece);
            PieceRequest req;
            req.piece = piece;
            req.url = FileUrl(loc.file);
            req.offset = loc.offset;
            req.length = loc.length;
            req.fileSize = desc_.files[loc.file].size;
            std::vector<uint8_t> buffer;
            if (!spare_.empty()) {
                buffer = std::move(spare_.back());
                spare_.pop_back();
            }
            return fetcher_.Start(req, std::move(buffer));
        }

        uint64_t StartStream(uint32_t file, const std::vector<bool>& wanted) override
        {
            const DescribedFile& f = desc_.files[file];
            StreamRequest r;
            r.file = file;
            r.url = FileUrl(file);
            r.fileSize = f.size;
            r.pieceSize = desc_.pieceSize;
            r.firstPiece = f.firstPiece;
            r.wanted = wanted;
            return fetcher_.StartStream(std::move(r));
        }

        void Progress(std::vector<TransferBytes>* out) const override { fetcher_.Progress(out); }
        void Drop(uint64_t transfer) override { fetcher_.Drop(transfer); }

        // A piece buffer for a later request; only a few are kept, so that
        // at most two pieces per connection are ever held.
        void GiveBack(std::vector<uint8_t> buffer)
        {
            if (spare_.size() < kSpareBuffers && buffer.capacity() > 0)
                spare_.push_back(std::move(buffer));
        }

    private:
        // The one place a file's address on the server is built.
        std::string FileUrl(uint32_t file) const { return FileAddress(opt_.httpUrl, desc_, file); }

        const CoreOptions& opt_;
        const DownloadDescription& desc_;
        PieceFetcher& fetcher_;
        std::vector<std::vector<uint8_t>> spare_;
    };

    EngineRun::Step EngineRun::Download(std::vector<bool> good)
    {
        board_.SetPhase(Phase::Downloading);
        RateLimiter limiter(uint64_t(opt_.downloadLimitKBps) * 1024);
        PieceFetcher fetcher(opt_.httpThreads, limiter);
        if (!fetcher.Init())
            return Step::GiveUp;
        ServerPort server(opt_, desc_, fetcher);
        SchedulerSettings settings;
        settings.connections = opt_.httpThreads;
        settings.rateLimit = limiter.Rate();
        settings.giveUpMs = Millis(opt_.giveUpSeconds) * 1000;
        settings.seed = std::random_device()();
        DownloadScheduler scheduler(desc_, server, settings, NowMs());
        for (uint32_t p = 0; p < good.size(); ++p)
            if (good[p])
                scheduler.MarkGood(p);
        if (scheduler.Complete())
            return Step::Next;

        PieceWriter writer(desc_, digest_, *store_, board_, InfoPath("state"), opt_.stateSaveMs,
            static_cast<size_t>(opt_.httpThreads) + 2);
        writer.Start(good, [&fetcher] { fetcher.Wakeup(); });
        std::vector<FetchDone> done;
        std::vector<PieceVerdict> verdicts;
        Millis rateStart = NowMs();
        uint64_t rateBytes = 0;
        reported_ = SchedulerReport();
        Step result = Step::Next;
        while (true) {
            if (stop_.load()) {
                result = Step::Stop;
                break;
            }
            scheduler.SetWriterLoad(writer.Pending(), writer.DiskFull());
            scheduler.Tick(NowMs());
            done.clear();
            size_t room = static_cast<size_t>(opt_.httpThreads) + 2;
            fetcher.Pump(50, &done, room > writer.Pending() ? room - writer.Pending() : 0);
            Millis now = NowMs();
            for (FetchDone& d : done) {
                if (!d.ok && !d.rangeIgnored && !d.streamTail && d.cause != FetchCause::Cancelled)
                    board_.CountRetry();
                if (scheduler.Fetched(d, now))
                    writer.Submit(d.piece, std::move(d.data));
                else
                    server.GiveBack(std::move(d.data));
            }
            verdicts.clear();
            writer.TakeVerdicts(&verdicts);
            for (PieceVerdict& v : verdicts) {
                if (!v.good)
                    board_.CountHashFailure();
                scheduler.Verdict(v.piece, v.good, now);
                server.GiveBack(std::move(v.buffer));
            }
            uint64_t got = fetcher.TakeReceivedBytes();
            scheduler.Received(got, now);
            rateBytes += got;
            if (now - rateStart >= 1000) {
                board_.SetDownloadRate(double(rateBytes) * 1000.0 / double(now - rateStart));
                rateBytes = 0;
                rateStart = now;
            }
            board_.SetBytes(scheduler.Tracker().TotalBytes(), scheduler.Tracker().DoneBytes());
            Publish(scheduler.Report(now));
            if (scheduler.Complete())
                break;
            if (scheduler.WantsReleaseCheck()) {
                bool changed = ReleaseChanged();
                scheduler.ReleaseChecked(changed, NowMs());
                if (changed) {
                    result = Step::Restart;
                    break;
                }
            }
            if (scheduler.GaveUp(now)) {
                std::fprintf(stderr, "zdl-core: no data from the server for %d s, giving up\n", opt_.giveUpSeconds);
                result = Step::GiveUp;
                break;
            }
        }
        done.clear();
        fetcher.CancelAll(&done);
        board_.SetDownloadRate(0);
        board_.SetServerBusy(false);
        if (result == Step::Next || result == Step::Restart)
            writer.Finish();
        else
            writer.Abort();
        return result;
    }

    // Shows the scheduler's lasting failure, or clears it once the failing
    // operation succeeded; only changes reach the board, so an error the
    // writer reports (a full disk) is not overwritten on every turn.
    void EngineRun::Publish(const SchedulerReport& r)
    {
        board_.SetServerBusy(r.serverBusy);
        if (r.error == reported_.error && r.code == reported_.code && r.file == reported_.file)
            return;
        if (r.error)
            board_.SetError(CoreError::DownloadSeed, r.code,
                r.file >= 0 ? store_->ReportName(static_cast<uint32_t>(r.file)) : opt_.torrent);
        else
            board_.ClearError(CoreError::DownloadSeed);
        reported_ = r;
    }

    // Pieces keep failing their hash: reads the digest again. A new release
    // (never one this core already left) restarts the download on it.
    bool EngineRun::ReleaseChanged()
    {
        std::string body, detail;
        Sha256Digest digest {};
        uint64_t size = 0;
        if (FetchSmallFile(DigestUrl(), kMaxDigestBytes, stop_, &body, &detail) != FetchOutcome::Ok
            || !ParseDigestText(body, &digest, &size)) {
            std::fprintf(stderr, "zdl-core: pieces fail their hash and the digest cannot be read again\n");
            return false;
        }
        if (digest == digest_ || std::find(left_.begin(), left_.end(), digest) != left_.end()) {
            std::fprintf(stderr, "zdl-core: pieces fail their hash but the release is unchanged\n");
            return false;
        }
        ReleaseRecord next;
        if (!keys_.empty() && !SignedAndNewer(body, digest, &next)) {
            std::fprintf(
                stderr, "zdl-core: pieces fail their hash; the server's other release is not signed as newer\n");
            return false;
        }
        std::fprintf(stderr, "zdl-core: the release changed on the server: starting over on the new one\n");
        left_.push_back(digest_);
        return true;
    }

    // A digest met while downloading: true when it is signed by a trusted
    // key and newer than the release being installed.
    bool EngineRun::SignedAndNewer(const std::string& digestBytes, const Sha256Digest& digest, ReleaseRecord* release)
    {
        std::string sig, detail;
        if (FetchSmallFile(DigestUrl() + ".minisig", kMaxSignatureBytes, stop_, &sig, &detail) != FetchOutcome::Ok)
            return false;
        SignatureCheck c = VerifyReleaseSignature(sig, digestBytes, keys_);
        *release = { c.timestamp, digest };
        return c.verdict == SignatureVerdict::Valid && MayFollow(accepted_, *release);
    }

    void EngineRun::Complete()
    {
        store_->CloseAll();
        // Every piece is verified on disk: an error left from the way (a
        // resume state that could not be saved on a full disk) no longer
        // means anything.
        board_.ClearAllErrors();
        board_.SetBytes(desc_.totalSize, desc_.totalSize);
        if (opt_.deleteDownloadInfo) {
            // Confined: a link put in place of one of them stays, and
            // nothing outside the folder is removed.
            FsStatus st;
            for (const char* name : { "state", "state.tmp", "seed" })
                RemoveFileBelow(opt_.dir, InfoPath(name), &st);
            // The engine ends here, so the folder is free; Windows cannot
            // delete a file it holds open, so let go of it first.
            lock_.Release();
            RemoveFileBelow(opt_.dir, InfoPath("lock"), &st);
            RemoveEmptyDirectoryBelow(opt_.dir, kInfoFolderName, &st);
        }
        board_.SetPhase(Phase::DownloadCompleted);
        std::fprintf(stderr, "zdl-core: download complete\n");
    }

    // Phases 5 to 10, retried with backoff while the server fails; a
    // failure is reported once it is lasting. GiveUp: the server stayed
    // unreachable for "-GiveUpAfter" seconds.
    EngineRun::Step EngineRun::LoadRelease()
    {
        FailureStreak streak;
        auto start = Clock::now();
        while (true) {
            Failure failure;
            Step s = FetchDigest(&failure);
            if (s == Step::Next)
                s = LoadDescription(&failure);
            if (s == Step::Next && !keys_.empty())
                KeepReleaseRecord();
            if (s != Step::Retry)
                return s;
            streak.Failed(MsSince(start), failure.code);
            if (streak.Lasting(MsSince(start)))
                board_.SetError(failure.error, failure.code, failure.file);
            if (MsSince(start) >= int64_t(opt_.giveUpSeconds) * 1000)
                return Step::GiveUp;
            if (!Sleep(BackoffMs(streak.Count())))
                return Step::Stop;
        }
    }

    void EngineRun::Run()
    {
        if (!Init())
            return;
        while (true) {
            Step s = LoadRelease();
            if (s == Step::Next) {
                std::vector<bool> fresh, good;
                if (CreateFiles(&fresh) != Step::Next || !Check(fresh, &good))
                    return;
                s = Download(std::move(good));
            }
            if (s == Step::Restart)
                continue;
            if (s == Step::GiveUp)
                board_.SetPhase(Phase::Quit);
            else if (s == Step::Next)
                Complete();
            return;
        }
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
