// What the user-interface benchmarks time with: the steady clock in
// milliseconds, and a test platform whose tick count is the real time, so
// that frame pacing, idle loops and the caret run as they do live.
#pragma once

#include "platform/UiPlatform.h"

#include <chrono>
#include <cstdint>

namespace zdl::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

class RealClock : public TestUiPlatform {
public:
    uint32_t TickCount() override
    {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
    }
};

} // namespace zdl::bench
