#include "app/core/CpuLoad.h"

#include "display/core/Format.h"

#include <algorithm>
#include <optional>

namespace kestrun {

namespace {
// One millisecond holds 10000 units of 100 ns: a fully busy interval is 10000.
constexpr uint32_t kFullyBusy = 10000;
}  // namespace

CpuLoadMeter::CpuLoadMeter(platform::Platform& platform) : m_kernel(platform.kernel()), m_toolHelp(&platform.toolHelp()) {}

CpuLoadMeter::CpuLoadMeter(platform::Kernel& kernel, platform::ToolHelp* toolHelp) : m_kernel(kernel), m_toolHelp(toolHelp) {}

uint32_t CpuLoadMeter::BusyFraction(uint32_t busyDiff, uint32_t elapsedMs, unsigned processorCount)
{
    if (busyDiff == 0 || elapsedMs == 0) return 0;
    // The busy time counts every processor: n busy processors charge n times the
    // elapsed time, so the interval is weighed by the processor count.
    const uint64_t capacity = uint64_t{elapsedMs} * std::max(processorCount, 1u);
    return static_cast<uint32_t>(std::min<uint64_t>(busyDiff / capacity, kFullyBusy));
}

unsigned CpuLoadMeter::ComputeCpuLoad()
{
    const uint32_t now = m_kernel.GetTickCount();
    std::optional<uint64_t> total;
    {
        // Every process's threads, not only the program's own: access to all
        // processes for the read, the previous permissions restored after it.
        std::optional<platform::AllProcessAccess> access;
        if (m_toolHelp != nullptr) access.emplace(*m_toolHelp);
        total = m_kernel.TotalBusyTime();
    }
    if (!total) {
        m_lastLoad = 0;
        return 0;
    }

    // Low 32 bits of the difference: after about 429 s without a measurement the
    // busy time wraps, and the first load after such a pause is taken modulo 2^32.
    const uint32_t diff = FileTimeDifference(platform::FileTime::FromValue(m_previousTotal),
                                             platform::FileTime::FromValue(*total));
    uint32_t fraction = 0;
    if (m_measured && now != m_previousTick) {
        // Unsigned subtraction: the elapsed time is right across a wrap of the tick count.
        fraction = BusyFraction(diff, now - m_previousTick, m_kernel.ProcessorCount());
    }

    m_previousTotal = *total;
    m_previousTick = now;
    m_measured = true;
    m_lastLoad = fraction / 100;
    return m_lastLoad;
}

}  // namespace kestrun
