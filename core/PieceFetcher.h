// Fetches pieces over HTTP with one libcurl multi handle and a fixed number
// of connection slots ("-HttpThread"). Each slot carries one range request
// at a time and keeps its connection alive between requests. All slots
// draw their bytes from one RateLimiter: a slot whose write finds the
// bucket empty pauses its transfer until the bucket refills.
//
// This is the HTTP piece source; another source (peers) would sit beside
// it and feed the same PieceWriter. Used by the engine thread only.
#pragma once

#include "core/RateLimiter.h"

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

struct FetchDone {
    uint32_t piece = 0;
    bool ok = false; // exactly `length` bytes arrived with a good status
    std::vector<uint8_t> data;
    std::string error; // for a failed fetch
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
    // Runs the transfers for at most `waitMs` and appends finished fetches.
    void Pump(int waitMs, std::vector<FetchDone>* done);
    // Stops every transfer; their pieces come back as failed.
    void CancelAll(std::vector<FetchDone>* done);
    // Ends a Pump that is waiting; callable from any thread.
    void Wakeup();
    // Bytes received since the last call.
    uint64_t TakeReceivedBytes();

    struct Slot; // one connection

private:
    void Finish(Slot& slot, bool transferOk, const std::string& curlError, std::vector<FetchDone>* done);

    int connections_;
    RateLimiter& limiter_;
    CURLM* multi_ = nullptr;
    std::vector<Slot*> slots_; // owned
    size_t resumeFrom_ = 0;
};

} // namespace zdl::core
