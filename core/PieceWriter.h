// The writer thread: verifies fetched pieces against their SHA-256, writes
// the good ones into the client's files and keeps the resume state.
//
// The download engine submits pieces (a bounded queue; a full queue makes
// the engine stop starting new requests) and collects the verdicts. Only a
// piece that passed its hash reaches the disk. A write that fails because
// the disk is full is retried every second with the same data, reporting
// "Error=WriteFile" meanwhile, so nothing already downloaded is lost.
//
// Checkpoints (every `saveIntervalMs`): flush the files written since the
// last checkpoint, then replace the state file. Pieces written since the
// previous checkpoint are marked for a re-check at the next start. The state
// file's path is relative to the store's install folder and confined to it.
#pragma once

#include "core/DownloadDescription.h"
#include "core/PieceStore.h"
#include "core/ResumeState.h"
#include "core/StatusBoard.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zdl::core {

struct PieceVerdict {
    uint32_t piece = 0;
    bool good = false; // hash matched and data written
    std::vector<uint8_t> buffer; // handed back for reuse
};

class PieceWriter {
public:
    PieceWriter(const DownloadDescription& desc, const Sha256Digest& descDigest, PieceStore& store, StatusBoard& board,
        std::string stateRelPath, int saveIntervalMs, size_t queueLimit);
    ~PieceWriter();

    // `good` is the set of pieces known good on disk before the download.
    // `onVerdict` is called on the writer thread after each verdict, so the
    // engine need not wait out its network poll to hear of it.
    void Start(std::vector<bool> good, std::function<void()> onVerdict = nullptr);
    // Ends the thread after the queued pieces; writes a final checkpoint.
    void Finish();
    // Ends the thread at once (quit): queued pieces are dropped, the state
    // is saved with what was written.
    void Abort();

    bool CanSubmit() const;
    // Pieces submitted and not yet given back as a verdict.
    size_t Pending() const { return pending_.load(); }
    void Submit(uint32_t piece, std::vector<uint8_t> data);
    void TakeVerdicts(std::vector<PieceVerdict>* out);
    bool DiskFull() const { return diskFull_.load(); }
    // Saves the state now (flushing first); a failure is reported as
    // "Error=WriteFile" until a save succeeds.
    bool SaveState(bool flush);
    // Free space a state save needs, for the installer's disk-full test.
    static uint64_t StateBytesFor(uint32_t pieces) { return 2 * (uint64_t(pieces) / 8 + 1) + 4096; }

private:
    bool SaveStateOnce(bool flush, FsStatus* status, std::string* failedName);
    void Run();
    bool WriteWithRetry(uint32_t piece, const std::vector<uint8_t>& data);

    const DownloadDescription& desc_;
    Sha256Digest descDigest_;
    PieceStore& store_;
    StatusBoard& board_;
    std::string statePath_;
    int saveIntervalMs_;
    size_t queueLimit_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<uint32_t, std::vector<uint8_t>>> queue_;
    std::vector<PieceVerdict> verdicts_;
    bool finishing_ = false;
    std::atomic<bool> abort_ { false };
    std::atomic<bool> diskFull_ { false };
    std::atomic<size_t> pending_ { 0 };
    bool stateFailed_ = false; // writer thread (and the final save after it)

    std::mutex stateMutex_; // the fields below
    std::vector<bool> good_;
    std::vector<uint32_t> sinceFlush_, previousInterval_;

    std::function<void()> onVerdict_;
    std::thread thread_;
};

} // namespace zdl::core
