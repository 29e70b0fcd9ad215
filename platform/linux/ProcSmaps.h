// The heap entries of one process as its Heap dialog lists them, from
// /proc/PID/smaps: the regions the maps table counts as heap memory (the same
// regions, so the Processes page's block count and the dialog's rows agree),
// each sized by the memory it uses (resident plus swapped pages), never by the
// address space it reserves.
#pragma once

#include "platform/ToolHelp.h"
#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcMaps.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::platform::linux_backend {

// What smaps says of one region, in KiB.
struct RegionUse {
    uint64_t rss = 0;
    uint64_t swap = 0;
    uint64_t locked = 0;
    uint64_t anonymous = 0;  // of rss, the pages that are the process's own (written, not a file's)
};

// Calls f(const MapsLine&, const RegionUse&) for every region of an smaps text:
// its header line (a maps line) and the "Name: value kB" lines below it.
// Malformed header lines and their attributes are skipped.
template <typename F>
void ForEachSmapsRegion(std::string_view text, F&& f);

// Heap entry flags of a region from one table of region properties.
uint32_t HeapFlagsOfUse(const MapsLine& line, const RegionUse& use);

// The entries of heap list heapId (a HeapKind) from an smaps text, each sized
// by the private anonymous memory it uses: a heap region's resident plus
// swapped pages, a private file mapping's written (anonymous) plus swapped
// pages. Over all lists the sizes add up to the process's RssAnon + VmSwap,
// the Processes page's memory figure.
std::vector<HeapEntry> HeapEntriesFromSmaps(std::string_view smaps, uint32_t processId, uint64_t heapId);

// The smaps text of the latest heap walk, read once per heap-list snapshot
// however many heap lists the walk reads.
struct SmapsCache {
    uint32_t processId = 0;
    uint64_t snapshot = 0;  // the serial of the snapshot the text was read for; 0 none
    bool fromSmaps = false;  // false: only maps could be read
    std::string text;
};

// The entries of one heap list of the process whose directory is dir. An
// unreadable table (another user's process) is an empty list, not a failure;
// nullopt with the last error set when the process has ended.
std::optional<std::vector<HeapEntry>> ReadHeapEntries(const ProcDir& dir, uint32_t processId, uint64_t heapId,
                                                      uint64_t snapshot, SmapsCache& cache);

// ---------------------------------------------------------------------------

bool ParseSmapsAttribute(std::string_view line, std::string_view& name, uint64_t& value);

template <typename F>
void ForEachSmapsRegion(std::string_view text, F&& f)
{
    MapsLine region;
    RegionUse use;
    bool open = false;
    auto flush = [&] {
        if (open) f(static_cast<const MapsLine&>(region), static_cast<const RegionUse&>(use));
    };
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        std::string_view name;
        uint64_t value = 0;
        if (ParseSmapsAttribute(line, name, value)) {
            if (name == "Rss") use.rss = value;
            else if (name == "Anonymous") use.anonymous = value;
            else if (name == "Swap") use.swap = value;
            else if (name == "Locked") use.locked = value;
        } else {
            MapsLine parsed;
            const bool header = ParseMapsLine(line, parsed);
            if (header || !line.empty()) {
                flush();
                open = header;
                region = parsed;
                use = RegionUse{};
            }
        }
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    flush();
}

}  // namespace kestrun::platform::linux_backend
