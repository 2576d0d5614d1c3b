#include "core/RateLimiter.h"

#include <algorithm>

namespace zdl::core {

RateLimiter::RateLimiter(uint64_t bytesPerSecond)
{
    SetRate(bytesPerSecond);
}

void RateLimiter::SetRate(uint64_t bytesPerSecond)
{
    std::lock_guard<std::mutex> lock(mutex_);
    rate_ = bytesPerSecond;
    // A tenth of a second of burst, at least one receive chunk.
    burst_ = std::max<double>(static_cast<double>(bytesPerSecond) / 10, 16 * 1024);
    tokens_ = std::min(tokens_, burst_);
}

void RateLimiter::Refill(uint64_t now)
{
    if (!started_) {
        started_ = true;
        last_ = now;
        tokens_ = burst_;
        return;
    }
    if (now <= last_)
        return;
    tokens_ = std::min(burst_, tokens_ + static_cast<double>(now - last_) * static_cast<double>(rate_) / 1e6);
    last_ = now;
}

bool RateLimiter::MayReceive(uint64_t now)
{
    if (rate_ == 0)
        return true;
    std::lock_guard<std::mutex> lock(mutex_);
    Refill(now);
    return tokens_ > 0;
}

void RateLimiter::Consume(uint64_t bytes, uint64_t now)
{
    if (rate_ == 0)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    Refill(now);
    tokens_ -= static_cast<double>(bytes);
}

uint64_t RateLimiter::WaitMicros(uint64_t now)
{
    if (rate_ == 0)
        return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    Refill(now);
    if (tokens_ > 0)
        return 0;
    return static_cast<uint64_t>((-tokens_ + 1) * 1e6 / static_cast<double>(rate_)) + 1;
}

} // namespace zdl::core
