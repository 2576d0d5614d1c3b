// What the peer server may send: which pieces are verified, and their bytes.
// The interface lets the tests serve made-up pieces; StorePieceSource is
// the engine's: it learns of each verified piece from the engine and reads
// the bytes from the install folder.
#pragma once

#include "core/PieceStore.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace zdl::core {

class PeerPieceSource {
public:
    virtual ~PeerPieceSource() = default;
    // True once `piece` is verified on disk. Called from several threads.
    virtual bool IsVerified(uint32_t piece) = 0;
    // Reads `length` bytes at `offset` within verified piece `piece`;
    // false on a read failure. Called from several threads at once.
    virtual bool ReadVerified(uint32_t piece, uint32_t offset, uint32_t length, uint8_t* out) = 0;
    // True while this core fetches `piece` from a server (not verified yet).
    virtual bool IsComing(uint32_t piece)
    {
        (void)piece;
        return false;
    }
};

// Thread safe: the engine's thread marks pieces while the server's threads
// ask and read.
class StorePieceSource : public PeerPieceSource {
public:
    // `store` must outlive the source; no piece is verified at first.
    StorePieceSource(PieceStore& store, uint32_t pieceCount);

    // The engine calls this when a piece is verified on disk (the tracker's
    // MarkDone), and Unmark when it is to be written again.
    void Mark(uint32_t piece);
    void Unmark(uint32_t piece);
    // A piece a server is sending (`coming`), or no longer.
    void SetComing(uint32_t piece, bool coming);

    bool IsVerified(uint32_t piece) override;
    bool ReadVerified(uint32_t piece, uint32_t offset, uint32_t length, uint8_t* out) override;
    bool IsComing(uint32_t piece) override;

private:
    PieceStore& store_; // not owned
    uint32_t count_;
    std::unique_ptr<std::atomic<bool>[]> verified_;
    std::unique_ptr<std::atomic<bool>[]> coming_;
};

} // namespace zdl::core
