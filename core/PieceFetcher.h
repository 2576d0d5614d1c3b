// Fetches pieces over HTTP with one libcurl multi handle and a fixed number
// of connection slots ("-HttpThread"). Each slot carries one range request
// at a time and keeps its connection alive between requests. All slots
// draw their bytes from one RateLimiter: a slot whose write finds the
// bucket empty pauses its transfer until the bucket refills.
//
// An error answer (404, 503 ...) is read to its end when it is short, so
// the connection stays open for the next request where the server allows
// it; its "Retry-After" is passed on.
//
// A server that ignores Range answers 200 with the whole file; such an
// answer is cut off at its first byte and reported (`rangeIgnored`). The
// engine then fetches that file as one stream (StartStream): one request
// without Range on one slot, cut into the file's pieces as the bytes pass.
// A stream holds at most kStreamAhead finished pieces that the engine has
// not taken; beyond that it pauses, so memory stays bounded.
//
// This is the HTTP piece source; another source (peers) would sit beside
// it and feed the same PieceWriter. Used by the engine thread only.
#pragma once

#include "core/FetchPort.h"
#include "core/RateLimiter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef void CURLM;

namespace zdl::core {

struct PieceRequest {
    uint32_t piece = 0;
    std::string url;
    uint64_t offset = 0;
    uint32_t length = 0;
    uint64_t fileSize = 0;
};

// A whole file without Range, cut into pieces of `pieceSize` bytes.
struct StreamRequest {
    uint32_t file = 0;
    std::string url;
    uint64_t fileSize = 0;
    uint32_t pieceSize = 0;
    uint32_t firstPiece = 0;
    std::vector<bool> wanted; // per piece of the file; the others pass by
};

constexpr size_t kStreamAhead = 4;
// An error answer's body is read (and thrown away) up to this size so the
// connection can carry the next request; a longer one closes it.
constexpr size_t kMaxErrorBodyBytes = 64 * 1024;

class PieceFetcher {
public:
    PieceFetcher(int connections, RateLimiter& limiter);
    ~PieceFetcher();
    PieceFetcher(const PieceFetcher&) = delete;
    PieceFetcher& operator=(const PieceFetcher&) = delete;

    bool Init();
    int IdleSlots() const;
    int BusySlots() const;
    // Starts `request` on an idle slot; `buffer` is reused for the data.
    // Returns the transfer's id, 0 when no slot is idle.
    uint64_t Start(const PieceRequest& request, std::vector<uint8_t> buffer);
    // Starts a stream on an idle slot; its id, or 0.
    uint64_t StartStream(StreamRequest request);
    // Body bytes of every running transfer so far.
    void Progress(std::vector<TransferBytes>* out) const;
    // Ends a running transfer; its pieces come out of the next Pump as
    // failed (FetchCause::Timeout).
    void Drop(uint64_t transfer);
    // Runs the transfers for at most `waitMs` and appends finished fetches,
    // at most `streamRoom` of them pieces of streams.
    void Pump(int waitMs, std::vector<FetchDone>* done, size_t streamRoom = SIZE_MAX);
    // Stops every transfer; their pieces come back as failed.
    void CancelAll(std::vector<FetchDone>* done);
    // Ends a Pump that is waiting; callable from any thread.
    void Wakeup();
    // Bytes received since the last call.
    uint64_t TakeReceivedBytes();

    struct Slot; // one connection

private:
    Slot* IdleSlot();
    void Finish(Slot& slot, int curlCode, const std::string& curlError, std::vector<FetchDone>* done);
    void FinishStream(
        Slot& slot, FetchCause cause, const std::string& error, long status, std::vector<FetchDone>* done);

    int connections_;
    RateLimiter& limiter_;
    CURLM* multi_ = nullptr;
    std::vector<Slot*> slots_; // owned
    size_t resumeFrom_ = 0;
    uint64_t nextId_ = 1;
    std::vector<FetchDone> dropped_; // ended by Drop, for the next Pump
};

} // namespace zdl::core
