// What the download scheduler needs from a source of pieces: a set of
// connections that start transfers (a piece by range, or a whole file for a
// server that ignores Range), report how far each got, and can be told to
// drop one. Today the only source is the HTTP server (PieceFetcher, wrapped
// by the engine); mirrors or peers would be further FetchPorts.
//
// Transfers end as FetchDone records that the engine hands to the
// scheduler. Everything here runs on the engine's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdl::core {

// Why a transfer did not deliver its piece.
enum class FetchCause : uint8_t {
    None, // delivered
    HttpStatus, // the server answered with a status other than the data
    ShortBody, // the body ended early or ran past the piece
    Timeout, // no data, or far too little, for too long (also a dropped trickle)
    NoConnection, // refused, reset, name not resolved: no HTTP answer
    Cancelled, // the engine is stopping
};

struct FetchDone {
    uint64_t transfer = 0; // as returned when it started
    uint32_t piece = 0;
    bool ok = false; // exactly the piece's bytes arrived with a good status
    std::vector<uint8_t> data;
    std::string error; // for a failed fetch, for the log
    FetchCause cause = FetchCause::None;
    long httpStatus = 0; // the server's answer; 0 when none came
    int retryAfterMs = -1; // the server's "Retry-After", -1 without one
    bool rangeIgnored = false; // the server answered 200 to a part of the file
    // A wanted piece a failed stream did not reach; the first such piece
    // carries the failure, the others are only given back.
    bool streamTail = false;
};

struct TransferBytes {
    uint64_t transfer = 0;
    uint64_t bytes = 0; // body bytes received by this transfer so far
};

class FetchPort {
public:
    virtual ~FetchPort() = default;
    virtual int IdleConnections() const = 0;
    // Starts a range request for `piece`; the transfer's id (never 0), or 0
    // when it cannot start now.
    virtual uint64_t StartPiece(uint32_t piece) = 0;
    // Starts one request for the whole of `file`; `wanted` marks its pieces
    // (by index within the file) to deliver, the others pass by.
    virtual uint64_t StartStream(uint32_t file, const std::vector<bool>& wanted) = 0;
    virtual void Progress(std::vector<TransferBytes>* out) const = 0;
    // Ends a running transfer at once: its pieces come back as failed with
    // FetchCause::Timeout at the next collection.
    virtual void Drop(uint64_t transfer) = 0;
};

} // namespace zdl::core
