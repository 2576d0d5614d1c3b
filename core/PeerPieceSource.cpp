#include "core/PeerPieceSource.h"

namespace zdl::core {

StorePieceSource::StorePieceSource(PieceStore& store, uint32_t pieceCount)
    : store_(store)
    , count_(pieceCount)
    , verified_(new std::atomic<bool>[pieceCount])
    , coming_(new std::atomic<bool>[pieceCount])
{
    for (uint32_t i = 0; i < count_; ++i) {
        verified_[i] = false;
        coming_[i] = false;
    }
}

void StorePieceSource::SetComing(uint32_t piece, bool coming)
{
    if (piece < count_)
        coming_[piece] = coming;
}

bool StorePieceSource::IsComing(uint32_t piece)
{
    return piece < count_ && coming_[piece];
}

void StorePieceSource::Mark(uint32_t piece)
{
    if (piece < count_)
        verified_[piece] = true;
}

void StorePieceSource::Unmark(uint32_t piece)
{
    if (piece < count_)
        verified_[piece] = false;
}

bool StorePieceSource::IsVerified(uint32_t piece)
{
    return piece < count_ && verified_[piece];
}

bool StorePieceSource::ReadVerified(uint32_t piece, uint32_t offset, uint32_t length, uint8_t* out)
{
    FsStatus status;
    return IsVerified(piece) && store_.ReadPiecePart(piece, offset, length, out, &status);
}

} // namespace zdl::core
