// The /proc/PID/maps table of a process: its load address, heap regions and
// mapped executable files.
#pragma once

#include "platform/ToolHelp.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::platform::linux_backend {

struct MapsLine {
    uint64_t start = 0;
    uint64_t end = 0;
    char perms[4] = {'-', '-', '-', '-'};  // r w x p/s
    uint64_t offset = 0;
    uint32_t devMajor = 0;
    uint32_t devMinor = 0;
    uint64_t inode = 0;
    std::string_view path;  // may be empty; may end in " (deleted)"

    [[nodiscard]] bool Private() const { return perms[3] == 'p'; }
    [[nodiscard]] bool Writable() const { return perms[1] == 'w'; }
    [[nodiscard]] bool Executable() const { return perms[2] == 'x'; }
};

// Parses one line (without its line end). False when it is malformed.
bool ParseMapsLine(std::string_view line, MapsLine& out);

// Calls f(const MapsLine&) for every well-formed line; malformed lines are skipped.
template <typename F>
void ForEachMapsLine(std::string_view text, F&& f)
{
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        MapsLine parsed;
        if (ParseMapsLine(line, parsed)) f(parsed);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

// Heap lists of a process: one per kind of private anonymous region.
enum HeapKind : uint64_t {
    kHeapKindNone = 0,
    kHeapKindBrk = 1,    // [heap], the default heap
    kHeapKindMmap = 2,   // anonymous mappings: malloc arenas, big blocks, reserves
    kHeapKindStack = 3,  // [stack]
    // Pages a process has written in its private mappings of files (a program's
    // and its libraries' data, relocations): anonymous memory too, but in regions
    // that are no heap region, so only smaps can say how much. Its entries are
    // listed, never counted as blocks.
    kHeapKindCopied = 4,
};
inline constexpr size_t kHeapKinds = 5;

// The heap kind of a region, kHeapKindNone when it is not heap memory
// (kHeapKindCopied is never a region's kind: it is decided by what smaps says).
HeapKind HeapKindOf(const MapsLine& line);
// HeapEntryFlags of a heap region: reserved (no access) regions are decommitted,
// the rest are committed; regions of 128 KiB and more are big blocks.
uint32_t HeapFlagsOf(const MapsLine& line);

struct MapsSummary {
    uint64_t loadAddress = 0;  // start of the executable's mapping at offset 0
    HeapTotals heap;           // bytes exclude decommitted reserves; blocks count every region
};

// exeTarget: the exe link's target, as maps writes the path (with " (deleted)" if so).
MapsSummary SummarizeMaps(std::string_view maps, std::string_view exeTarget);

std::vector<HeapEntry> HeapEntriesFromMaps(std::string_view maps, uint32_t processId, uint64_t heapId);
// One heap list per kind present; the copied pages' list whenever a file is
// mapped privately (which of its pages were written only smaps tells).
std::vector<HeapListEntry> HeapListsFromMaps(std::string_view maps, uint32_t processId);
// A private mapping of a file: where written pages become the process's own.
bool PrivateFileMapping(const MapsLine& line);

// Mapped files with at least one executable mapping, one entry per device and
// inode; flags and global usage are left for the caller.
std::vector<ModuleEntry> ModulesFromMaps(std::string_view maps, uint32_t processId);

// A stable 32-bit id of a file from its device and inode.
uint32_t ModuleIdOf(uint32_t devMajor, uint32_t devMinor, uint64_t inode);

// A path without the kernel's " (deleted)" suffix.
std::string_view WithoutDeleted(std::string_view path);

}  // namespace kestrun::platform::linux_backend
