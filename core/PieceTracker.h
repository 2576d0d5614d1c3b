// Which pieces are missing, being fetched or verified on disk, with the
// byte counts the status reports. Owned and used by the download engine's
// thread only.
#pragma once

#include <cstdint>
#include <vector>

namespace zdl::core {

class PieceTracker {
public:
    enum class State : uint8_t { Missing, InFlight, Done };

    // `lengths` gives every piece's size in bytes.
    explicit PieceTracker(std::vector<uint32_t> lengths);

    uint32_t PieceCount() const { return static_cast<uint32_t>(lengths_.size()); }
    State StateOf(uint32_t piece) const { return states_[piece]; }
    uint32_t LengthOf(uint32_t piece) const { return lengths_[piece]; }

    // The order TakeNext walks (a permutation of every piece); by default
    // the pieces' own order.
    void SetOrder(std::vector<uint32_t> order);
    // Next missing piece in order, now in flight; false when none is left.
    bool TakeNext(uint32_t* piece);
    // Takes a given piece if it is missing; false otherwise.
    bool Take(uint32_t piece);
    void MarkDone(uint32_t piece);
    // A fetch that failed or was cancelled: the piece is missing again.
    void Release(uint32_t piece);

    uint64_t TotalBytes() const { return totalBytes_; }
    uint64_t DoneBytes() const { return doneBytes_; }
    uint32_t DonePieces() const { return donePieces_; }
    uint32_t InFlightPieces() const { return inFlight_; }
    bool Complete() const { return donePieces_ == lengths_.size(); }

private:
    std::vector<uint32_t> lengths_;
    std::vector<State> states_;
    uint64_t totalBytes_ = 0;
    uint64_t doneBytes_ = 0;
    uint32_t donePieces_ = 0;
    uint32_t inFlight_ = 0;
    uint32_t cursor_ = 0; // no missing piece lies before it, except released ones
    std::vector<uint32_t> released_;
    std::vector<uint32_t> order_; // empty: the pieces' own order
};

} // namespace zdl::core
