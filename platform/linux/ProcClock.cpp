#include "platform/linux/ProcClock.h"

#include "platform/Types.h"

#include <ctime>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

uint64_t TicksTo100ns(uint64_t ticks)
{
    static const uint64_t perTick = [] {
        const long hz = ::sysconf(_SC_CLK_TCK);
        return hz > 0 ? 10000000ull / static_cast<uint64_t>(hz) : 100000ull;
    }();
    return ticks * perTick;
}

uint32_t TickMs()
{
    const long hz = ::sysconf(_SC_CLK_TCK);
    if (hz <= 0) return 10;  // the usual 100 per second, as TicksTo100ns assumes
    return hz >= 1000 ? 1 : static_cast<uint32_t>(1000 / hz);
}

uint64_t BootWallFileTime()
{
    timespec real{};
    timespec boot{};
    ::clock_gettime(CLOCK_REALTIME, &real);
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    const int64_t ns = (int64_t{real.tv_sec} - boot.tv_sec) * 1000000000 + (real.tv_nsec - boot.tv_nsec);
    return kUnixEpochAsFileTime + static_cast<uint64_t>(ns / 100);
}

}  // namespace kestrun::platform::linux_backend
