// The clock /proc counts in: CPU times and start times are clock ticks, start
// times counted from boot.
#pragma once

#include <cstdint>

namespace kestrun::platform::linux_backend {

// Clock ticks as 100 ns units.
uint64_t TicksTo100ns(uint64_t ticks);

// The length of one clock tick in whole milliseconds (at least 1).
uint32_t TickMs();

// Wall clock time of boot as a file time: realtime minus time since boot.
uint64_t BootWallFileTime();

}  // namespace kestrun::platform::linux_backend
