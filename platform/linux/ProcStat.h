// The /proc/PID/stat line of a process or thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrun::platform::linux_backend {

// Fields are numbered as in proc(5).
struct ProcStat {
    int64_t pid = 0;            // 1
    std::string comm;           // 2, without the parentheses
    char state = '?';           // 3
    int64_t ppid = 0;           // 4
    uint64_t flags = 0;         // 9, PF_* bits
    uint64_t utime = 0;         // 14, clock ticks
    uint64_t stime = 0;         // 15, clock ticks
    int64_t priority = 0;       // 18
    int64_t nice = 0;           // 19
    int64_t numThreads = 0;     // 20
    uint64_t startTime = 0;     // 22, clock ticks after boot
    uint64_t vsize = 0;         // 23, bytes
    uint64_t rss = 0;           // 24, pages (0 when absent)
    uint64_t startCode = 0;     // 26, start of the program's text; 0 when absent or not ours to see
    uint64_t rtPriority = 0;    // 40
    uint64_t policy = 0;        // 41, SCHED_*

    [[nodiscard]] bool IsKernelThread() const { return (flags & 0x00200000u) != 0; }  // PF_KTHREAD
};

// Parses a stat line. The command name runs from the first '(' to the last ')',
// so a name holding ") " or spaces cannot shift the fields after it. Fields
// after vsize are optional (0 when absent). nullopt when the line is malformed.
std::optional<ProcStat> ParseProcStat(std::string_view text);

}  // namespace kestrun::platform::linux_backend
