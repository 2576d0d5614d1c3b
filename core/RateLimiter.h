// A token bucket shared by all transfers of one direction. Bytes are
// granted as they arrive; the bucket may go into debt by one chunk so a
// received chunk is never split, and a transfer that finds the bucket
// empty pauses until it refills. The refill is continuous (tokens per
// elapsed microsecond) and the burst small (a tenth of a second), so the
// rate over any window of a second or more stays at the limit.
//
// Thread safe; time is passed in by the caller so tests can drive it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace zdl::core {

class RateLimiter {
public:
    // bytesPerSecond 0: unlimited.
    explicit RateLimiter(uint64_t bytesPerSecond = 0);

    void SetRate(uint64_t bytesPerSecond);
    uint64_t Rate() const { return rate_; }
    bool Unlimited() const { return rate_ == 0; }

    // True when a transfer may receive now; it then reports what it took
    // with Consume. False: pause and ask again after WaitMicros.
    bool MayReceive(uint64_t nowMicros);
    void Consume(uint64_t bytes, uint64_t nowMicros);
    // Time until the bucket is positive again.
    uint64_t WaitMicros(uint64_t nowMicros);

private:
    void Refill(uint64_t nowMicros);

    std::mutex mutex_;
    std::atomic<uint64_t> rate_ { 0 };
    double tokens_ = 0;
    double burst_ = 0;
    uint64_t last_ = 0;
    bool started_ = false;
};

} // namespace zdl::core
