// The local check: hashes pieces already on disk and says which of them
// are good. Runs on `threads` threads that take pieces in order from a
// shared counter, each reading a piece and hashing it (reading from the
// page cache and hashing overlap across the threads). A piece whose bytes
// are all zero (space allocated but never written) is decided without
// hashing, by comparing with the hash of zeros of its length.
#pragma once

#include "core/DownloadDescription.h"
#include "core/PieceStore.h"

#include <atomic>
#include <functional>
#include <vector>

namespace zdl::core {

struct CheckResult {
    bool stopped = false;
    uint32_t checked = 0;
    uint32_t good = 0;
};

// Checks `pieces`; sets good[p] true or false for each. `progress` gets the
// number of bytes checked so far (called from the checking threads, one at
// a time, at most every few pieces, never less than before; the last call
// gives the whole unless stopped). Returns early when `stop` becomes true.
CheckResult CheckPieces(const DownloadDescription& desc, PieceStore& store, const std::vector<uint32_t>& pieces,
    int threads, const std::atomic<bool>& stop, const std::function<void(uint64_t)>& progress, std::vector<bool>* good);

} // namespace zdl::core
