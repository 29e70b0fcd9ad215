#include "pages/core/SystemPage.h"

#include <cwchar>
#include <string>

namespace kestrun {

std::optional<SystemCounts> ReadSystemCounts(platform::ToolHelp& toolHelp)
{
    std::optional<platform::Snapshot> snapshot =
        toolHelp.CreateSnapshot(platform::kSnapProcess | platform::kSnapNoHeaps, 0);
    if (!snapshot) return std::nullopt;
    SystemCounts counts;
    for (const platform::ProcessEntry& process : snapshot->processes) {
        ++counts.processes;
        counts.threads += process.threadCount;
    }
    toolHelp.CloseSnapshot(*snapshot);
    return counts;
}

ProgramMemory ReadProgramMemory(platform::Kernel& kernel)
{
    const platform::MemoryStatus status = kernel.GlobalMemoryStatus();
    return {status.totalPhys >> 10, status.availPhys >> 10};
}

void SystemFigures::UpdateCounts(platform::ToolHelp& toolHelp)
{
    const std::optional<SystemCounts> counts = ReadSystemCounts(toolHelp);
    if (!counts) return;
    m_threads = std::to_wstring(counts->threads);
    m_processes = std::to_wstring(counts->processes);
}

void SystemFigures::UpdateMemory(platform::Kernel& kernel)
{
    const ProgramMemory memory = ReadProgramMemory(kernel);
    m_totalMemory = std::to_wstring(memory.totalKb);
    m_availMemory = std::to_wstring(memory.availKb);
}

std::array<EdgeShift, 18> SystemLayoutShifts(int dx, int dy)
{
    const int h = dy / 2;  // C++ division truncates toward zero: -3 / 2 == -1
    return {{
        // Upper row: the bottom edge follows half the height change.
        {kIdcCpuGroup, 0, 0, 0, h},
        {kIdcCpuGauge, 0, 0, 0, h},
        {kIdcCpuHistoryGroup, 0, 0, dx, h},
        {kIdcCpuHistory, 0, 0, dx, h},
        // Lower row: moved down by the upper row's growth and grown by the same.
        {kIdcMemGroup, 0, h, 0, 2 * h},
        {kIdcMemGauge, 0, h, 0, 2 * h},
        {kIdcMemHistoryGroup, 0, h, dx, 2 * h},
        {kIdcMemHistory, 0, h, dx, 2 * h},
        // The "Total" and "Program Memory (kB)" blocks stay at the bottom.
        {kIdcTotalGroup, 0, dy, 0, dy},
        {kIdcThreadsLabel, 0, dy, 0, dy},
        {kIdcThreads, 0, dy, 0, dy},
        {kIdcProcessesLabel, 0, dy, 0, dy},
        {kIdcProcesses, 0, dy, 0, dy},
        {kIdcProgramMemoryGroup, 0, dy, 0, dy},
        {kIdcTotalLabel, 0, dy, 0, dy},
        {kIdcTotalMemory, 0, dy, 0, dy},
        {kIdcAvailLabel, 0, dy, 0, dy},
        {kIdcAvailMemory, 0, dy, 0, dy},
    }};
}

std::wstring GaugePercentText(int percent)
{
    if (percent < 0 || percent > 100) return {};  // the gauge shows a plain area then
    wchar_t text[32];
    std::swprintf(text, 32, L"%3.0f%%", static_cast<double>(percent));
    return text;
}

}  // namespace kestrun
