#include "core/PieceTracker.h"

#include <cassert>

namespace zdl::core {

PieceTracker::PieceTracker(std::vector<uint32_t> lengths)
    : lengths_(std::move(lengths))
    , states_(lengths_.size(), State::Missing)
{
    for (uint32_t len : lengths_)
        totalBytes_ += len;
}

bool PieceTracker::TakeNext(uint32_t* piece)
{
    // Released pieces first, so a piece that failed is retried before the
    // download moves far past it (the end of the client stays contiguous).
    while (!released_.empty()) {
        uint32_t p = released_.back();
        released_.pop_back();
        if (states_[p] == State::Missing) {
            states_[p] = State::InFlight;
            ++inFlight_;
            *piece = p;
            return true;
        }
    }
    auto at = [this](uint32_t i) { return order_.empty() ? i : order_[i]; };
    while (cursor_ < states_.size() && states_[at(cursor_)] != State::Missing)
        ++cursor_;
    if (cursor_ == states_.size())
        return false;
    *piece = at(cursor_++);
    states_[*piece] = State::InFlight;
    ++inFlight_;
    return true;
}

void PieceTracker::SetOrder(std::vector<uint32_t> order)
{
    if (order.size() != states_.size())
        return;
    order_ = std::move(order);
    cursor_ = 0;
}

bool PieceTracker::Take(uint32_t piece)
{
    if (states_[piece] != State::Missing)
        return false;
    states_[piece] = State::InFlight;
    ++inFlight_;
    return true;
}

void PieceTracker::MarkDone(uint32_t piece)
{
    if (states_[piece] == State::Done)
        return;
    if (states_[piece] == State::InFlight)
        --inFlight_;
    states_[piece] = State::Done;
    doneBytes_ += lengths_[piece];
    ++donePieces_;
}

void PieceTracker::Release(uint32_t piece)
{
    assert(states_[piece] == State::InFlight);
    if (states_[piece] != State::InFlight)
        return;
    states_[piece] = State::Missing;
    --inFlight_;
    released_.push_back(piece);
}

} // namespace zdl::core
