#include "core/PieceWriter.h"

#include "platform/FileSystem.h"

#include <chrono>

namespace zdl::core {

using Clock = std::chrono::steady_clock;

namespace {
#ifdef _WIN32
    constexpr char kStateReportName[] = ".zdlcore\\state";
#else
    constexpr char kStateReportName[] = ".zdlcore/state";
#endif
} // namespace

PieceWriter::PieceWriter(const DownloadDescription& desc, const Sha256Digest& descDigest, PieceStore& store,
    StatusBoard& board, std::string stateRelPath, int saveIntervalMs, size_t queueLimit)
    : desc_(desc)
    , descDigest_(descDigest)
    , store_(store)
    , board_(board)
    , statePath_(std::move(stateRelPath))
    , saveIntervalMs_(saveIntervalMs)
    , queueLimit_(queueLimit)
{
}

PieceWriter::~PieceWriter()
{
    Abort();
}

void PieceWriter::Start(std::vector<bool> good, std::function<void()> onVerdict)
{
    good_ = std::move(good);
    onVerdict_ = std::move(onVerdict);
    thread_ = std::thread(&PieceWriter::Run, this);
}

void PieceWriter::Finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void PieceWriter::Abort()
{
    abort_ = true;
    Finish();
}

bool PieceWriter::CanSubmit() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size() < queueLimit_;
}

void PieceWriter::Submit(uint32_t piece, std::vector<uint8_t> data)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(piece, std::move(data));
    }
    ++pending_;
    wake_.notify_one();
}

void PieceWriter::TakeVerdicts(std::vector<PieceVerdict>* out)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& v : verdicts_)
        out->push_back(std::move(v));
    verdicts_.clear();
}

bool PieceWriter::SaveState(bool flush)
{
    FsStatus st;
    std::string failedName;
    bool ok = SaveStateOnce(flush, &st, &failedName);
    // A state that cannot be saved is reported like any write (a full disk
    // here costs the resume point, not data) and clears with the next save.
    if (!ok) {
        if (st.kind == FsErrorKind::Link)
            board_.SetError(CoreError::OpenFile, kCodeLinkRefused, failedName);
        else
            board_.SetError(
                st.kind == FsErrorKind::InUse ? CoreError::OpenFile : CoreError::WriteFile, st.code, failedName);
        stateFailed_ = true;
    } else if (stateFailed_) {
        board_.ClearError(CoreError::WriteFile);
        board_.ClearError(CoreError::OpenFile);
        stateFailed_ = false;
    }
    return ok;
}

bool PieceWriter::SaveStateOnce(bool flush, FsStatus* st, std::string* failedName)
{
    if (flush) {
        uint32_t failed = 0;
        if (!store_.Flush(st, &failed)) {
            *failedName = store_.ReportName(failed, *st);
            return false;
        }
    }
    ResumeState state;
    state.description = descDigest_;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        state.good = good_;
        state.recheck.assign(good_.size(), false);
        for (uint32_t p : sinceFlush_)
            state.recheck[p] = true;
        for (uint32_t p : previousInterval_)
            state.recheck[p] = true;
        if (flush) {
            previousInterval_.swap(sinceFlush_);
            sinceFlush_.clear();
        }
    }
    // Unflushed (on quit) the file may be lost or damaged by a power cut;
    // a damaged state only costs a full check at the next start.
    if (WriteFileAtomicallyBelow(
            store_.Root(), statePath_, EncodeResumeState(state), st, flush ? Durability::Flushed : Durability::Fast))
        return true;
    *failedName = st->kind == FsErrorKind::Link ? ReportPath(st->entry) : kStateReportName;
    return false;
}

bool PieceWriter::WriteWithRetry(uint32_t piece, const std::vector<uint8_t>& data)
{
    bool failed = false;
    while (!abort_.load()) {
        FsStatus st;
        uint32_t file = 0;
        if (store_.WritePiece(piece, data.data(), &st, &file)) {
            if (failed) {
                board_.ClearError(CoreError::WriteFile);
                board_.ClearError(CoreError::OpenFile);
            }
            diskFull_ = false;
            return true;
        }
        failed = true;
        // A full disk or a file someone else holds: report and wait; the
        // installer tells the player, who frees space or closes the game.
        diskFull_ = st.kind == FsErrorKind::NoSpace;
        if (st.kind == FsErrorKind::Link)
            board_.SetError(CoreError::OpenFile, kCodeLinkRefused, store_.ReportName(file, st));
        else
            board_.SetError(st.kind == FsErrorKind::InUse ? CoreError::OpenFile : CoreError::WriteFile, st.code,
                store_.ReportName(file));
        for (int i = 0; i < 10 && !abort_.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void PieceWriter::Run()
{
    Sha256 hasher;
    auto lastSave = Clock::now();
    while (true) {
        std::pair<uint32_t, std::vector<uint8_t>> job;
        bool have = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(
                lock, std::chrono::milliseconds(100), [&] { return !queue_.empty() || finishing_ || abort_.load(); });
            if (abort_.load())
                break;
            if (!queue_.empty()) {
                job = std::move(queue_.front());
                queue_.pop_front();
                have = true;
            } else if (finishing_) {
                break;
            }
        }
        if (have) {
            PieceLocation loc = desc_.Locate(job.first);
            bool good = job.second.size() >= loc.length;
            if (good) {
                hasher.Update(job.second.data(), loc.length);
                good = hasher.Final() == desc_.pieceHashes[job.first];
            }
            if (good && !WriteWithRetry(job.first, job.second))
                break; // aborted while waiting for space
            if (good) {
                std::lock_guard<std::mutex> lock(stateMutex_);
                good_[job.first] = true;
                sinceFlush_.push_back(job.first);
            }
            PieceVerdict v;
            v.piece = job.first;
            v.good = good;
            v.buffer = std::move(job.second);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                verdicts_.push_back(std::move(v));
                --pending_;
            }
            if (onVerdict_)
                onVerdict_();
        }
        if (Clock::now() - lastSave >= std::chrono::milliseconds(saveIntervalMs_)) {
            SaveState(true);
            lastSave = Clock::now();
        }
    }
    // The final state: flushed on a normal end; on quit only recorded, with
    // every unflushed piece marked for a re-check, so quitting stays fast.
    SaveState(!abort_.load());
}

} // namespace zdl::core
