#include "core/DownloadEngine.h"

#include "core/BuiltInKeys.h"
#include "core/DownloadDescription.h"
#include "core/DownloadScheduler.h"
#include "core/HttpTransport.h"
#include "core/LocalChecker.h"
#include "core/PeerDiscovery.h"
#include "core/PeerPieceSource.h"
#include "core/PeerServer.h"
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
#include <set>

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

    // Any public address: the route towards it names the interface of the
    // default route. Nothing is sent to it.
    constexpr uint32_t kRouteProbeAddress = 0x08080808;
    constexpr Millis kPeerLookMs = 500; // how often discovery's peers are taken in
    constexpr int kPeerFirstWaitMs = 1500; // for a first peer before the first request

    std::string Ipv4Text(uint32_t a)
    {
        return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." + std::to_string(a >> 8 & 255) + "."
            + std::to_string(a & 255);
    }

    // The address this core shares pieces on, 0 for none: the pinned one, or
    // the address of the interface the default route uses when that is a
    // private or link-local one (a machine straight on the internet shares
    // with no one).
    uint32_t ShareAddress(const CoreOptions& o)
    {
        if (!o.p2pShare)
            return 0;
        uint32_t address = 0;
        if (!o.p2pInterface.empty())
            return ParseIpv4(o.p2pInterface, &address) ? address : 0;
        if (!LocalAddressToward(kRouteProbeAddress, &address)) {
            std::fprintf(stderr, "zdl-core: no local network found: not sharing with peers\n");
            return 0;
        }
        if (!IsLocalNetworkAddress(address) || (address >> 24) == 127) {
            std::fprintf(stderr, "zdl-core: %s is not a local network address: not sharing with peers\n",
                Ipv4Text(address).c_str());
            return 0;
        }
        return address;
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
        Step ChooseRelease(Failure* failure);
        Step FetchDigest(const std::string& base, std::string* body, Failure* failure);
        Step CheckSignature(const std::string& base, const std::string& digestBytes, const Sha256Digest& digest,
            const ReleaseRecord* held, int64_t* signedAt, Failure* failure);
        void KeepReleaseRecord();
        Step LoadDescription(const std::string& base, Failure* failure);
        Step CreateFiles(std::vector<bool>* fresh);
        bool Check(const std::vector<bool>& fresh, std::vector<bool>* good);
        Step Download(std::vector<bool> good);
        void StartSharing(const std::vector<bool>& good);
        void KeepSharing();
        void StopSharing();
        void Publish(const SchedulerReport& report);
        bool ReleaseChanged();
        void Complete();
        std::string DigestUrl(const std::string& base) const { return base + "/" + opt_.torrent + ".digest"; }
        std::string SignatureName() const { return opt_.torrent + ".digest.minisig"; }
        std::vector<std::string> FileMirrors() const;
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
        // Sharing with peers (after the store and the description, which
        // they read: they go first).
        uint32_t shareAddress_ = 0;
        std::unique_ptr<StorePieceSource> shared_;
        std::unique_ptr<PeerServer> peerServer_;
        std::unique_ptr<PeerDiscovery> discovery_;
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

    // The digest of the release `base` (one of the "-HttpUrl" mirrors) serves.
    EngineRun::Step EngineRun::FetchDigest(const std::string& base, std::string* body, Failure* failure)
    {
        board_.SetPhase(Phase::GetSeedMd5);
        std::string detail;
        long status = 0;
        FetchOutcome r = FetchSmallFile(DigestUrl(base), kMaxDigestBytes, stop_, body, &detail, &status);
        if (r == FetchOutcome::Cancelled)
            return Step::Stop;
        if (r == FetchOutcome::Ok && ParseDigestText(*body, &digest_, &digestSize_))
            return Step::Next;
        failure->error = CoreError::DownloadTorrent;
        failure->code = FetchFailureCode(r, status);
        failure->file = opt_.torrent + ".digest";
        if (r == FetchOutcome::Ok) {
            // Malformed, or declaring a description beyond the limits.
            detail = "malformed digest";
            failure->code = kCodeMalformed;
        }
        std::fprintf(stderr, "zdl-core: digest from %s: %s\n", base.c_str(), detail.c_str());
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

    // With trusted keys, a digest counts only when the signature beside it
    // on `base` verifies and its release is not older than the one this
    // core took or the one the folder holds (`held`, null for none). Next
    // with the signed time; Retry with
    // the failure (codes 1010-1015 for a refusal, a transfer failure's code
    // when the server did not answer). Nothing is reported here: the choice
    // among mirrors decides what the player sees.
    EngineRun::Step EngineRun::CheckSignature(const std::string& base, const std::string& digestBytes,
        const Sha256Digest& digest, const ReleaseRecord* held, int64_t* signedAt, Failure* failure)
    {
        std::string sig, detail;
        long status = 0;
        FetchOutcome r
            = FetchSmallFile(DigestUrl(base) + ".minisig", kMaxSignatureBytes, stop_, &sig, &detail, &status);
        if (r == FetchOutcome::Cancelled)
            return Step::Stop;
        failure->error = CoreError::DownloadTorrent;
        failure->file = SignatureName();
        failure->code = 0;
        if (r == FetchOutcome::Ok) {
            SignatureCheck c = VerifyReleaseSignature(sig, digestBytes, keys_);
            if (c.verdict != SignatureVerdict::Valid) {
                failure->code = SignatureCode(c.verdict);
                detail = c.reason;
            } else if (accepted_.timestamp != 0 && !MayFollow(accepted_, { c.timestamp, digest })) {
                // This core already took a newer release (the record may
                // not have been written on a full disk).
                failure->code = kCodeOlderRelease;
                detail = "signed at " + std::to_string(c.timestamp) + ", older than the release being installed";
            } else if (held && !MayFollow(*held, { c.timestamp, digest })) {
                failure->code = kCodeOlderRelease;
                detail = "signed at " + std::to_string(c.timestamp) + ", the folder holds a release signed at "
                    + std::to_string(held->timestamp);
            } else {
                *signedAt = c.timestamp;
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
            std::fprintf(stderr, "zdl-core: signature from %s: %s\n", base.c_str(), detail.c_str());
            return Step::Retry;
        }
        std::fprintf(stderr, "zdl-core: release from %s refused: %s (%s)\n", base.c_str(), detail.c_str(),
            SignatureName().c_str());
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

    // The description the digest vouches for: the local copy, else fetched
    // from `base`, the mirror that gave the digest.
    EngineRun::Step EngineRun::LoadDescription(const std::string& base, Failure* failure)
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
                base + "/" + opt_.torrent, static_cast<size_t>(digestSize_), stop_, &bytes, &detail, &status);
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
                std::fprintf(stderr, "zdl-core: description from %s: %s\n", base.c_str(), detail.c_str());
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

    // Piece buffers for later requests; only a few are kept, so that at
    // most two pieces per connection are ever held.
    class BufferPool {
    public:
        std::vector<uint8_t> Take()
        {
            std::vector<uint8_t> buffer;
            if (!spare_.empty()) {
                buffer = std::move(spare_.back());
                spare_.pop_back();
            }
            return buffer;
        }
        void GiveBack(std::vector<uint8_t> buffer)
        {
            if (spare_.size() < kSpareBuffers && buffer.capacity() > 0)
                spare_.push_back(std::move(buffer));
        }

    private:
        std::vector<std::vector<uint8_t>> spare_;
    };

    // One mirror as a source of pieces for the scheduler: the files'
    // addresses below its base. Every mirror shares PieceFetcher's
    // connections (and its connection cache), so transfer ids are unique
    // across mirrors and a connection goes wherever the scheduler sends it.
    class ServerPort : public FetchPort {
    public:
        // `coming` (for a server, when sharing) learns of each piece
        // requested, so that peers asking for it are told to wait for it.
        ServerPort(std::string base, const DownloadDescription& d, PieceFetcher& f, BufferPool& pool,
            StorePieceSource* coming = nullptr)
            : base_(std::move(base))
            , desc_(d)
            , fetcher_(f)
            , pool_(pool)
            , coming_(coming)
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
            uint64_t id = fetcher_.Start(req, pool_.Take());
            if (id && coming_)
                coming_->SetComing(piece, true);
            return id;
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

        const std::string& Base() const { return base_; }

    private:
        // The one place a file's address on a mirror is built.
        std::string FileUrl(uint32_t file) const { return FileAddress(base_, desc_, file); }

        const std::string base_;
        const DownloadDescription& desc_;
        PieceFetcher& fetcher_;
        BufferPool& pool_;
        StorePieceSource* coming_; // not owned
    };

    // Where the files come from: the "-HttpUrl" mirrors, then those the
    // (verified) description lists, each once.
    std::vector<std::string> EngineRun::FileMirrors() const
    {
        std::vector<std::string> bases = opt_.httpUrls;
        if (bases.empty())
            bases.push_back(opt_.httpUrl);
        for (const std::string& m : desc_.mirrors)
            if (std::find(bases.begin(), bases.end(), m) == bases.end() && bases.size() < kMaxSources)
                bases.push_back(m);
        return bases;
    }

    // Serves the verified pieces to peers and looks for them; without a
    // server (the address cannot be bound) nothing is shared, and without
    // discovery the server still answers peers that found this core.
    void EngineRun::StartSharing(const std::vector<bool>& good)
    {
        StopSharing();
        if (!shareAddress_)
            return;
        shared_ = std::make_unique<StorePieceSource>(*store_, desc_.PieceCount());
        for (uint32_t p = 0; p < good.size(); ++p)
            if (good[p])
                shared_->Mark(p);
        peerServer_ = std::make_unique<PeerServer>(desc_, digest_, *shared_);
        PeerServerSettings server;
        server.address = shareAddress_;
        server.maxConnections = std::clamp(opt_.p2pUploadListSize, 1, 256);
        server.maxUploads = std::max(1, opt_.p2pUploadThreads);
        server.rateLimit = uint64_t(opt_.uploadLimitKBps) * 1024;
        std::string error;
        if (!peerServer_->Start(server, &error)) {
            std::fprintf(stderr, "zdl-core: not sharing with peers: %s\n", error.c_str());
            StopSharing();
            return;
        }
        discovery_ = std::make_unique<PeerDiscovery>(digest_, peerServer_->Port());
        PeerDiscoverySettings find;
        find.interfaceAddress = shareAddress_;
        if (opt_.p2pDiscoveryPort)
            find.port = static_cast<uint16_t>(opt_.p2pDiscoveryPort);
        if (!discovery_->Start(find)) {
            std::fprintf(
                stderr, "zdl-core: no multicast on %s: peers are not looked for\n", Ipv4Text(shareAddress_).c_str());
            discovery_.reset();
        }
        std::fprintf(stderr, "zdl-core: sharing pieces with peers on %s:%u\n", Ipv4Text(shareAddress_).c_str(),
            unsigned(peerServer_->Port()));
    }

    // The download is complete: the pieces are still served to the peers
    // as long as this core runs.
    void EngineRun::KeepSharing()
    {
        while (peerServer_ && Sleep(500))
            board_.SetUploadRate(peerServer_->UploadRate());
        StopSharing();
    }

    void EngineRun::StopSharing()
    {
        if (discovery_)
            discovery_->Stop();
        if (peerServer_)
            peerServer_->Stop();
        discovery_.reset();
        peerServer_.reset();
        shared_.reset();
        board_.SetUploadRate(0);
    }

    EngineRun::Step EngineRun::Download(std::vector<bool> good)
    {
        board_.SetPhase(Phase::Downloading);
        StartSharing(good);
        RateLimiter limiter(uint64_t(opt_.downloadLimitKBps) * 1024);
        PieceFetcher fetcher(opt_.httpThreads, limiter);
        if (!fetcher.Init())
            return Step::GiveUp;
        BufferPool pool;
        std::vector<std::unique_ptr<ServerPort>> mirrors;
        std::vector<FetchPort*> ports;
        for (const std::string& base : FileMirrors()) {
            mirrors.push_back(std::make_unique<ServerPort>(base, desc_, fetcher, pool, shared_.get()));
            ports.push_back(mirrors.back().get());
        }
        if (mirrors.size() > 1)
            std::fprintf(stderr, "zdl-core: fetching from %zu mirrors\n", mirrors.size());
        // Peers are mirrors of what they verified, below the release's digest.
        std::vector<std::unique_ptr<ServerPort>> peers;
        std::set<std::pair<uint32_t, uint16_t>> peersSeen;
        Millis nextPeerLook = 0;
        SchedulerSettings settings;
        settings.connections = opt_.httpThreads;
        settings.rateLimit = limiter.Rate();
        settings.giveUpMs = Millis(opt_.giveUpSeconds) * 1000;
        settings.seed = std::random_device()();
        settings.scatter = peerServer_ != nullptr;
        DownloadScheduler scheduler(desc_, ports, settings, NowMs());
        for (uint32_t p = 0; p < good.size(); ++p)
            if (good[p])
                scheduler.MarkGood(p);
        if (scheduler.Complete())
            return Step::Next;
        // Cores that start together (a room switched on at once) would
        // otherwise all ask the servers for their first pieces before they
        // hear of each other: a moment is given to the announcements.
        for (int waited = 0; discovery_ && waited < kPeerFirstWaitMs && discovery_->Peers().empty(); waited += 100)
            if (!Sleep(100))
                return Step::Stop;

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
            if (discovery_ && NowMs() >= nextPeerLook) {
                nextPeerLook = NowMs() + kPeerLookMs;
                for (const PeerEndpoint& e : discovery_->Peers()) {
                    if (!peersSeen.emplace(e.address, e.port).second)
                        continue;
                    std::string base
                        = "http://" + Ipv4Text(e.address) + ":" + std::to_string(e.port) + "/" + ToHex(digest_);
                    peers.push_back(std::make_unique<ServerPort>(base, desc_, fetcher, pool));
                    if (scheduler.AddSource(peers.back().get(), true) < 0) {
                        peers.pop_back();
                        continue;
                    }
                    std::fprintf(stderr, "zdl-core: peer %s found\n", base.c_str());
                }
            }
            scheduler.SetWriterLoad(writer.Pending(), writer.DiskFull());
            scheduler.Tick(NowMs());
            done.clear();
            size_t room = static_cast<size_t>(opt_.httpThreads) + 2;
            fetcher.Pump(50, &done, room > writer.Pending() ? room - writer.Pending() : 0);
            Millis now = NowMs();
            for (FetchDone& d : done) {
                if (!d.ok && !d.rangeIgnored && !d.streamTail && d.cause != FetchCause::Cancelled
                    && !scheduler.OnPeer(d.transfer))
                    board_.CountRetry();
                if (shared_ && !d.ok)
                    shared_->SetComing(d.piece, false);
                if (scheduler.Fetched(d, now))
                    writer.Submit(d.piece, std::move(d.data));
                else
                    pool.GiveBack(std::move(d.data));
            }
            verdicts.clear();
            writer.TakeVerdicts(&verdicts);
            for (PieceVerdict& v : verdicts) {
                if (!v.good)
                    board_.CountHashFailure();
                scheduler.Verdict(v.piece, v.good, now);
                if (v.good && shared_)
                    shared_->Mark(v.piece);
                if (shared_)
                    shared_->SetComing(v.piece, false);
                pool.GiveBack(std::move(v.buffer));
            }
            uint64_t got = fetcher.TakeReceivedBytes();
            scheduler.Received(got, now);
            rateBytes += got;
            if (now - rateStart >= 1000) {
                board_.SetDownloadRate(double(rateBytes) * 1000.0 / double(now - rateStart));
                board_.SetUploadRate(peerServer_ ? peerServer_->UploadRate() : 0);
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
        // What each mirror delivered, for the publisher's and the tests' eyes.
        for (uint32_t m = 0; m < mirrors.size(); ++m) {
            SourceStats st = scheduler.Stats(m);
            std::fprintf(stderr, "zdl-core: mirror %u %s: %llu bytes good, %llu bytes bad, demoted %d times\n", m,
                mirrors[m]->Base().c_str(), static_cast<unsigned long long>(st.goodBytes),
                static_cast<unsigned long long>(st.badBytes), st.demotions);
        }
        for (uint32_t i = 0; i < peers.size(); ++i) {
            const uint32_t source = static_cast<uint32_t>(mirrors.size()) + i;
            SourceStats st = scheduler.Stats(source);
            std::fprintf(stderr, "zdl-core: peer %u %s: %llu bytes good, %llu bytes bad%s\n", source,
                peers[i]->Base().c_str(), static_cast<unsigned long long>(st.goodBytes),
                static_cast<unsigned long long>(st.badBytes), scheduler.Dropped(source) ? ", dropped" : "");
        }
        if (peerServer_)
            std::fprintf(stderr, "zdl-core: sent %llu bytes to peers\n",
                static_cast<unsigned long long>(peerServer_->BytesSent()));
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

    // Pieces keep failing their hash: reads the digest again, from the first
    // mirror that gives one. A new release (never one this core already
    // left) restarts the download on it.
    bool EngineRun::ReleaseChanged()
    {
        // Without keys the first mirror that gives a digest speaks for the
        // release, as when it was chosen; with keys any mirror may show a
        // newer signed one, and nothing else counts.
        bool read = false;
        for (const std::string& base : opt_.httpUrls) {
            std::string body, detail;
            Sha256Digest digest {};
            uint64_t size = 0;
            if (FetchSmallFile(DigestUrl(base), kMaxDigestBytes, stop_, &body, &detail) != FetchOutcome::Ok
                || !ParseDigestText(body, &digest, &size))
                continue;
            read = true;
            bool other = digest != digest_ && std::find(left_.begin(), left_.end(), digest) == left_.end();
            // Signed as newer than the release being installed.
            int64_t signedAt = 0;
            Failure refused;
            if (other
                && (keys_.empty() || CheckSignature(base, body, digest, nullptr, &signedAt, &refused) == Step::Next)) {
                std::fprintf(
                    stderr, "zdl-core: the release changed on %s: starting over on the new one\n", base.c_str());
                left_.push_back(digest_);
                return true;
            }
            if (keys_.empty())
                break;
        }
        std::fprintf(stderr,
            read ? "zdl-core: pieces fail their hash but no mirror offers a newer release\n"
                 : "zdl-core: pieces fail their hash and the digest cannot be read again\n");
        return false;
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
            Step s = ChooseRelease(&failure);
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

    // Which release this core takes when the mirrors disagree; the one
    // place that decides it. Every piece is later checked against this one
    // release, so no mirror can mix another into the install.
    // Without trusted keys the "-HttpUrl" mirrors are asked in the
    // publisher's order, and the first whose digest reads and whose
    // description matches that digest wins; a mirror that fails either
    // passes the turn to the next.
    // With keys every mirror is asked, and the newest validly signed release
    // any of them offers wins (never one older than the release this core
    // took or the folder holds); a stale mirror only loses the vote, and an
    // older signed release is taken only when no mirror can give the
    // description of a newer one.
    EngineRun::Step EngineRun::ChooseRelease(Failure* failure)
    {
        if (keys_.empty()) {
            for (const std::string& base : opt_.httpUrls) {
                std::string body;
                Step s = FetchDigest(base, &body, failure);
                if (s == Step::Next) {
                    board_.ClearError(CoreError::DownloadTorrent);
                    s = LoadDescription(base, failure);
                }
                if (s != Step::Retry)
                    return s;
            }
            return Step::Retry;
        }
        struct Offer {
            const std::string* base;
            Sha256Digest digest;
            uint64_t size;
            int64_t signedAt;
        };
        std::vector<Offer> offers;
        Failure refusal;
        ReleaseRecord record;
        const ReleaseRecord* held = ReadReleaseRecord(opt_.dir, &record) ? &record : nullptr;
        for (const std::string& base : opt_.httpUrls) {
            std::string body;
            Step s = FetchDigest(base, &body, failure);
            int64_t signedAt = 0;
            if (s == Step::Next)
                s = CheckSignature(base, body, digest_, held, &signedAt, failure);
            if (s == Step::Stop)
                return s;
            if (s == Step::Next)
                offers.push_back({ &base, digest_, digestSize_, signedAt });
            else if (failure->code >= kCodeNoSignature && failure->code <= kCodeNoSignedTime)
                refusal = *failure;
        }
        std::stable_sort(
            offers.begin(), offers.end(), [](const Offer& a, const Offer& b) { return a.signedAt > b.signedAt; });
        for (const Offer& o : offers) {
            digest_ = o.digest;
            digestSize_ = o.size;
            Step s = LoadDescription(*o.base, failure);
            if (s == Step::Stop)
                return s;
            if (s == Step::Next) {
                accepted_ = { o.signedAt, o.digest };
                std::fprintf(stderr, "zdl-core: release signed at %lld taken from %s\n",
                    static_cast<long long>(o.signedAt), o.base->c_str());
                board_.ClearError(CoreError::DownloadTorrent);
                KeepReleaseRecord();
                return s;
            }
        }
        if (offers.empty() && refusal.code != 0) {
            // No mirror offers a release the keys vouch for. Reported at
            // once: waiting for it to last would only hide it, and nothing
            // was written for the release.
            *failure = refusal;
            board_.SetError(failure->error, failure->code, failure->file);
            board_.SetPhase(Phase::GetSeedMd5Fail);
        }
        return Step::Retry;
    }

    void EngineRun::Run()
    {
        if (!Init())
            return;
        shareAddress_ = ShareAddress(opt_);
        while (true) {
            Step s = LoadRelease();
            if (s == Step::Next) {
                std::vector<bool> fresh, good;
                if (CreateFiles(&fresh) != Step::Next || !Check(fresh, &good))
                    return;
                s = Download(std::move(good));
            }
            if (s != Step::Next)
                StopSharing(); // a restart serves the new release
            if (s == Step::Restart)
                continue;
            if (s == Step::GiveUp) {
                board_.SetPhase(Phase::Quit);
            } else if (s == Step::Next) {
                Complete();
                KeepSharing();
            }
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
