// The system's CPU load, measured once per refresh tick as the busy time of all
// processors since the previous measurement over the elapsed wall-clock time.
#pragma once

#include "platform/Platform.h"

#include <cstdint>

namespace kestrun {

class CpuLoadMeter {
public:
    explicit CpuLoadMeter(platform::Platform& platform);
    // toolHelp, when given, grants all-process access around the busy-time read:
    // a device that charges threads per process counts only the walkable ones.
    explicit CpuLoadMeter(platform::Kernel& kernel, platform::ToolHelp* toolHelp = nullptr);

    // Percent 0..100 since the previous successful measurement. The first
    // measurement, a second one in the same millisecond and one whose busy time
    // cannot be read give 0; a failed read keeps the previous measurement as the
    // reference for the next one.
    unsigned ComputeCpuLoad();

    // The result of the last ComputeCpuLoad (the Refresh command reuses it).
    [[nodiscard]] unsigned lastLoad() const { return m_lastLoad; }

    // Busy fraction in hundredths of a percent (0..10000) from a busy-time
    // difference in 100 ns units over an elapsed time in milliseconds shared by
    // processorCount processors; 0 when nothing elapsed.
    static uint32_t BusyFraction(uint32_t busyDiff, uint32_t elapsedMs, unsigned processorCount);

private:
    platform::Kernel& m_kernel;
    platform::ToolHelp* m_toolHelp = nullptr;
    uint64_t m_previousTotal = 0;  // busy time of the last measurement, 100 ns units
    uint32_t m_previousTick = 0;   // tick count of the last measurement, ms
    bool m_measured = false;       // a measurement has been stored
    unsigned m_lastLoad = 0;
};

}  // namespace kestrun
