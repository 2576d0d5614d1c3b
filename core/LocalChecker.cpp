#include "core/LocalChecker.h"

#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace zdl::core {

namespace {

    constexpr size_t kPiecesPerReport = 8;

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
    // One thread at a time reports, always the latest count and only when
    // it grew; a thread that finds another reporting goes on checking.
    std::mutex progressMutex;
    uint64_t reported = 0; // guarded by progressMutex
    auto report = [&](bool wait) {
        std::unique_lock<std::mutex> lock(progressMutex, std::defer_lock);
        if (wait)
            lock.lock();
        else if (!lock.try_lock())
            return;
        uint64_t done = bytesDone.load();
        if (done > reported) {
            reported = done;
            progress(done);
        }
    };
    ZeroHashes zeroHashes;
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
            bytesDone.fetch_add(loc.length);
            if (progress && i % kPiecesPerReport == 0)
                report(false);
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
    // Every thread has ended: the last figure is the whole count.
    if (progress)
        report(true);
    CheckResult r;
    r.stopped = stop.load() && next.load() < pieces.size();
    r.checked = checked.load();
    r.good = goodCount.load();
    return r;
}

} // namespace zdl::core
