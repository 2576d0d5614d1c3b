// Fetches pieces over HTTP with one libcurl multi handle and a fixed number
// of connection slots ("-HttpThread"). Each slot carries one range request
// at a time and keeps its connection alive between requests. All slots
// draw their bytes from one RateLimiter: a slot whose write finds the
// bucket empty pauses its transfer until the bucket refills.
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

struct FetchDone {
    uint32_t piece = 0;
    bool ok = false; // exactly `length` bytes arrived with a good status
    std::vector<uint8_t> data;
    std::string error; // for a failed fetch
    long httpStatus = 0; // the server's answer; 0 when none came (network error)
    bool rangeIgnored = false; // the server answered 200 to a part of the file
    // A wanted piece a failed stream did not reach; the first such piece
    // carries the failure, the others are only given back.
    bool streamTail = false;
};

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
    bool Start(const PieceRequest& request, std::vector<uint8_t> buffer);
    // Starts a stream on an idle slot.
    bool StartStream(StreamRequest request);
    bool IsStreaming(uint32_t file) const;
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
    void Finish(Slot& slot, bool transferOk, const std::string& curlError, std::vector<FetchDone>* done);
    void FinishStream(
        Slot& slot, bool transferOk, const std::string& curlError, long status, std::vector<FetchDone>* done);

    int connections_;
    RateLimiter& limiter_;
    CURLM* multi_ = nullptr;
    std::vector<Slot*> slots_; // owned
    size_t resumeFrom_ = 0;
};

} // namespace zdl::core
