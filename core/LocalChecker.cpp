#include "core/LocalChecker.h"

#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace zdl::core {

namespace {

    bool AllZero(const uint8_t* p, size_t n)
    {
        static const uint8_t kZeros[4096] = {};
        while (n >= sizeof kZeros) {
            if (std::memcmp(p, kZeros, sizeof kZeros) != 0)
                return false;
            p += sizeof kZeros;
            n -= sizeof kZeros;
        }
        return std::memcmp(p, kZeros, n) == 0;
    }

    class ZeroHashes {
    public:
        Sha256Digest Of(uint32_t length)
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = cache_.find(length);
            if (it != cache_.end())
                return it->second;
            std::vector<uint8_t> zeros(length, 0);
            Sha256Digest d = Sha256::Of(zeros.data(), zeros.size());
            cache_[length] = d;
            return d;
        }

    private:
        std::mutex mutex_;
        std::map<uint32_t, Sha256Digest> cache_;
    };

} // namespace

CheckResult CheckPieces(const DownloadDescription& desc, PieceStore& store, const std::vector<uint32_t>& pieces,
    int threads, const std::atomic<bool>& stop, const std::function<void(uint64_t)>& progress, std::vector<bool>* good)
{
    std::atomic<size_t> next { 0 };
    std::atomic<uint64_t> bytesDone { 0 };
    std::atomic<uint32_t> checked { 0 }, goodCount { 0 };
    std::mutex resultMutex;
    ZeroHashes zeroHashes;
    // Progress goes out from one thread at a time and only ever grows, and
    // the last report is the whole: a thread that takes the last piece may
    // finish before one still hashing an earlier piece.
    uint64_t allBytes = 0;
    for (uint32_t piece : pieces)
        allBytes += desc.Locate(piece).length;
    std::mutex progressMutex;
    uint64_t reported = 0;
    auto work = [&]() {
        std::vector<uint8_t> buffer(desc.pieceSize);
        Sha256 hasher;
        while (!stop.load()) {
            size_t i = next.fetch_add(1);
            if (i >= pieces.size())
                break;
            uint32_t piece = pieces[i];
            PieceLocation loc = desc.Locate(piece);
            FsStatus st;
            bool ok = store.ReadPiece(piece, buffer.data(), &st);
            if (ok) {
                Sha256Digest d = AllZero(buffer.data(), loc.length)
                    ? zeroHashes.Of(loc.length)
                    : (hasher.Update(buffer.data(), loc.length), hasher.Final());
                ok = d == desc.pieceHashes[piece];
            }
            {
                std::lock_guard<std::mutex> lock(resultMutex);
                (*good)[piece] = ok;
            }
            checked.fetch_add(1);
            if (ok)
                goodCount.fetch_add(1);
            uint64_t done = bytesDone.fetch_add(loc.length) + loc.length;
            if (progress && (i % 8 == 0 || done == allBytes)) {
                std::lock_guard<std::mutex> lock(progressMutex);
                if (done > reported) {
                    reported = done;
                    progress(done);
                }
            }
        }
    };
    int n = threads < 1 ? 1 : threads;
    if (pieces.size() < static_cast<size_t>(n))
        n = pieces.empty() ? 1 : static_cast<int>(pieces.size());
    std::vector<std::thread> pool;
    for (int t = 1; t < n; ++t)
        pool.emplace_back(work);
    work();
    for (auto& t : pool)
        t.join();
    CheckResult r;
    r.stopped = stop.load() && next.load() < pieces.size();
    r.checked = checked.load();
    r.good = goodCount.load();
    return r;
}

} // namespace zdl::core
