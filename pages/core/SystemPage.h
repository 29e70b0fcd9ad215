// The System Performance page without its window: the thread and process counts,
// the program memory figures and the way the page's controls follow a size change.
#pragma once

#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrun {

// Control ids of the page's template.
enum SystemControlId : int {
    kIdcCpuHistory = 1021,
    kIdcMemHistory = 1022,
    kIdcThreads = 1023,
    kIdcProcesses = 1024,
    kIdcTotalMemory = 1025,
    kIdcAvailMemory = 1026,
    kIdcCpuGauge = 1027,
    kIdcMemGauge = 1028,
    kIdcCpuHistoryGroup = 1029,
    kIdcMemHistoryGroup = 1030,
    kIdcCpuGroup = 1031,
    kIdcMemGroup = 1032,
    kIdcTotalGroup = 1033,
    kIdcThreadsLabel = 1034,
    kIdcProcessesLabel = 1035,
    kIdcProgramMemoryGroup = 1036,
    kIdcTotalLabel = 1037,
    kIdcAvailLabel = 1038,
};

struct SystemCounts {
    uint32_t threads = 0;
    uint32_t processes = 0;
};

// Counts the processes of a process snapshot and sums their threads; nullopt when
// no snapshot can be taken.
std::optional<SystemCounts> ReadSystemCounts(platform::ToolHelp& toolHelp);

struct ProgramMemory {
    uint64_t totalKb = 0;
    uint64_t availKb = 0;
};

ProgramMemory ReadProgramMemory(platform::Kernel& kernel);

// The texts of the four number fields, "#" until first read. A failed snapshot
// leaves the counts as they were.
class SystemFigures {
public:
    void UpdateCounts(platform::ToolHelp& toolHelp);
    void UpdateMemory(platform::Kernel& kernel);

    [[nodiscard]] const std::wstring& threads() const { return m_threads; }
    [[nodiscard]] const std::wstring& processes() const { return m_processes; }
    [[nodiscard]] const std::wstring& totalMemory() const { return m_totalMemory; }
    [[nodiscard]] const std::wstring& availMemory() const { return m_availMemory; }

private:
    std::wstring m_threads = L"#";
    std::wstring m_processes = L"#";
    std::wstring m_totalMemory = L"#";
    std::wstring m_availMemory = L"#";
};

// How one control's edges move when the page changes size, in pixels.
struct EdgeShift {
    int id = 0;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// For a page size change (dx, dy): the two gauge rows share the extra height,
// h = dy / 2 truncated toward zero each; the histories take the extra width; the
// blocks at the bottom move down by dy.
std::array<EdgeShift, 18> SystemLayoutShifts(int dx, int dy);

// The gauge's text for a percentage, as the gauge prints it ("%3.0f%%"); empty
// outside 0..100, where the gauge shows no text.
std::wstring GaugePercentText(int percent);

}  // namespace kestrun
