// Files whose pieces the server answers but does not serve (404, 403, 5xx,
// short or overlong bodies) during the download. Such a file waits out a
// backoff of its own, growing with its consecutive failures, while the
// connections take other work; when the wait ends one piece at a time
// probes whether the server serves the file again, and the first success
// lets all its pieces go. Pieces parked here stay "in flight" in the
// PieceTracker, so nothing else takes them meanwhile.
//
// Owned and used by the download engine's thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace zdl::core {

constexpr int kFirstFileBackoffMs = 250;
constexpr int kMaxFileBackoffMs = 60000;

class FileRetryBook {
public:
    using Clock = std::chrono::steady_clock;

    // A fetch of `piece` of `file` failed with `httpStatus`; the piece is
    // parked. Returns the file's consecutive failures.
    int Failed(uint32_t file, uint32_t piece, long httpStatus, Clock::time_point now);
    // A fetch of `file` succeeded: its parked pieces go to `release`.
    // False when the file was not failing.
    bool Succeeded(uint32_t file, std::vector<uint32_t>* release);
    // Parks `piece` while its file waits or another piece probes it; a
    // piece not parked of a failing file becomes its probe.
    bool ParkIfWaiting(uint32_t file, uint32_t piece, Clock::time_point now);
    // The probe could not be started after all, or failed for a reason
    // that is not the file's (a busy or silent server).
    void ProbeNotStarted(uint32_t file);
    // Pieces of files whose wait has ended, to be released.
    void TakeDue(Clock::time_point now, std::vector<uint32_t>* release);
    // The failing file with the most consecutive failures; false if none.
    // `since` (if given) receives the time of its first failure in a row.
    bool Worst(uint32_t* file, int* failures, long* httpStatus, Clock::time_point* since = nullptr) const;

    static int BackoffMs(int failures);

private:
    struct Entry {
        int failures = 0;
        long httpStatus = 0;
        bool probing = false;
        Clock::time_point until;
        Clock::time_point since; // the first failure in a row
        std::vector<uint32_t> parked;
    };
    std::unordered_map<uint32_t, Entry> files_;
};

} // namespace zdl::core
