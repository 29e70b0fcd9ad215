#include "platform/linux/ProcSmaps.h"

#include "platform/LastError.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>

namespace kestrun::platform::linux_backend {

namespace {

constexpr uint64_t kBigRegion = 128 * 1024;  // glibc's mmap threshold

bool Reserved(const MapsLine& line) { return line.perms[0] == '-' && line.perms[1] == '-' && line.perms[2] == '-'; }

// The flags of a heap region, one rule a flag.
struct HeapFlagRule {
    uint32_t flag;
    bool (*applies)(const MapsLine& line, const RegionUse& use);
};

constexpr std::array<HeapFlagRule, 4> kHeapFlagRules = {{
    // [heap], [stack] and anonymous read-write regions hold committed memory.
    {kHeapFixed, [](const MapsLine& line, const RegionUse&) { return !Reserved(line); }},
    // Reserved address space (malloc arena reserves, guard pages).
    {kHeapDecommit, [](const MapsLine& line, const RegionUse&) { return Reserved(line); }},
    {kHeapBig, [](const MapsLine& line, const RegionUse&) { return !Reserved(line) && line.end - line.start >= kBigRegion; }},
    // Committed but not one page resident or swapped: nothing in it is used yet.
    {kHeapFree, [](const MapsLine& line, const RegionUse& use) { return !Reserved(line) && use.rss + use.swap == 0; }},
}};

uint64_t Kilobytes(uint64_t kb) { return kb > (~uint64_t{0} >> 10) ? ~uint64_t{0} : kb << 10; }

}  // namespace

bool ParseSmapsAttribute(std::string_view line, std::string_view& name, uint64_t& value)
{
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (std::isalnum(c) == 0 && c != '_') return false;
    }
    // A header line starts with a lower-case hexadecimal address and has no colon
    // before its device field; an attribute's name starts with a capital letter.
    if (std::isupper(static_cast<unsigned char>(line[0])) == 0) return false;
    name = line.substr(0, colon);
    std::string_view rest = line.substr(colon + 1);
    const size_t digits = rest.find_first_not_of(' ');
    value = 0;
    if (digits == std::string_view::npos) return true;
    rest.remove_prefix(digits);
    std::from_chars(rest.data(), rest.data() + rest.size(), value);  // VmFlags and the like have no number: 0
    return true;
}

uint32_t HeapFlagsOfUse(const MapsLine& line, const RegionUse& use)
{
    uint32_t flags = 0;
    for (const HeapFlagRule& rule : kHeapFlagRules)
        if (rule.applies(line, use)) flags |= rule.flag;
    return flags;
}

std::vector<HeapEntry> HeapEntriesFromSmaps(std::string_view smaps, uint32_t processId, uint64_t heapId)
{
    std::vector<HeapEntry> entries;
    ForEachSmapsRegion(smaps, [&](const MapsLine& line, const RegionUse& use) {
        uint64_t resident = use.rss;
        if (heapId == kHeapKindCopied) {
            // Only the written pages of a file mapping are the process's memory.
            if (!PrivateFileMapping(line) || use.anonymous + use.swap == 0) return;
            resident = use.anonymous;
        } else if (HeapKindOf(line) != heapId) {
            return;
        }
        HeapEntry entry;
        entry.address = line.start;
        const uint64_t used = resident > ~uint64_t{0} - use.swap ? ~uint64_t{0} : resident + use.swap;
        entry.blockSize = Kilobytes(used);
        entry.flags = HeapFlagsOfUse(line, use);
        entry.lockCount = use.locked > 0 ? 1 : 0;
        entry.processId = processId;
        entry.heapId = heapId;
        entries.push_back(entry);
    });
    return entries;
}

std::optional<std::vector<HeapEntry>> ReadHeapEntries(const ProcDir& dir, uint32_t processId, uint64_t heapId,
                                                      uint64_t snapshot, SmapsCache& cache)
{
    if (cache.snapshot == 0 || cache.snapshot != snapshot || cache.processId != processId) {
        cache.snapshot = 0;
        ProcRead read = dir.valid() ? dir.Read("smaps", cache.text) : dir.openResult();
        cache.fromSmaps = read == ProcRead::kOk;
        // A kernel built without smaps still has maps; a process that ended has neither.
        if (dir.valid() && read != ProcRead::kOk && read != ProcRead::kDenied) read = dir.Read("maps", cache.text);
        if (read == ProcRead::kDenied) return std::vector<HeapEntry>{};  // another user's: nothing to list
        if (read != ProcRead::kOk) {
            Fail(read == ProcRead::kGone ? ESRCH : (errno != 0 ? errno : EIO));
            return std::nullopt;
        }
        cache.processId = processId;
        cache.snapshot = snapshot;
    }
    if (cache.fromSmaps) return HeapEntriesFromSmaps(cache.text, processId, heapId);
    // Without smaps only the extent is known: committed regions count it, reserves nothing.
    std::vector<HeapEntry> entries = HeapEntriesFromMaps(cache.text, processId, heapId);
    for (HeapEntry& entry : entries)
        if ((entry.flags & kHeapDecommit) != 0) entry.blockSize = 0;
    return entries;
}

}  // namespace kestrun::platform::linux_backend
