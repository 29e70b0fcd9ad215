#include "platform/sim/SimClock.h"

namespace kestrun::platform::sim {

void SimClock::SetMode(ClockMode mode)
{
    mode_ = mode;
    realBase_ = std::chrono::steady_clock::now();
    realBaseUptime_ = uptimeMs_;
}

uint64_t SimClock::CatchUpReal()
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realBase_);
    const uint64_t target = realBaseUptime_ + static_cast<uint64_t>(elapsed.count());
    if (target <= uptimeMs_) return 0;
    const uint64_t delta = target - uptimeMs_;
    uptimeMs_ = target;
    return delta;
}

}  // namespace kestrun::platform::sim
