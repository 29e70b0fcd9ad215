#include "platform/linux/ProcMaps.h"

#include "platform/Types.h"
#include "platform/common/PathName.h"

#include <charconv>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

namespace {

constexpr uint64_t kBigBlock = 128 * 1024;  // glibc's mmap threshold

template <typename T>
bool TakeNumber(std::string_view& text, T& value, int base, char stop)
{
    const size_t end = text.find(stop);
    const std::string_view digits = text.substr(0, end);
    if (digits.empty()) return false;
    const auto [ptr, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc() || ptr != digits.data() + digits.size()) return false;
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return true;
}

void SkipBlanks(std::string_view& text)
{
    const size_t begin = text.find_first_not_of(' ');
    text.remove_prefix(begin == std::string_view::npos ? text.size() : begin);
}

}  // namespace

bool ParseMapsLine(std::string_view line, MapsLine& out)
{
    if (!TakeNumber(line, out.start, 16, '-') || !TakeNumber(line, out.end, 16, ' ')) return false;
    if (out.end < out.start || line.size() < 5 || line[4] != ' ') return false;
    for (size_t i = 0; i < 4; ++i) out.perms[i] = line[i];
    line.remove_prefix(5);
    if (!TakeNumber(line, out.offset, 16, ' ')) return false;
    if (!TakeNumber(line, out.devMajor, 16, ':') || !TakeNumber(line, out.devMinor, 16, ' ')) return false;
    SkipBlanks(line);
    const size_t inodeEnd = line.find(' ');
    if (inodeEnd == std::string_view::npos) {
        if (!TakeNumber(line, out.inode, 10, ' ')) return false;
        out.path = {};
        return true;
    }
    if (!TakeNumber(line, out.inode, 10, ' ')) return false;
    SkipBlanks(line);
    out.path = line;
    return true;
}

std::string_view WithoutDeleted(std::string_view path)
{
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() >= kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted)
        path.remove_suffix(kDeleted.size());
    return path;
}

HeapKind HeapKindOf(const MapsLine& line)
{
    if (!line.Private()) return kHeapKindNone;
    const bool reserved = line.perms[0] == '-' && line.perms[1] == '-' && line.perms[2] == '-';
    if (!line.Writable() && !reserved) return kHeapKindNone;
    if (line.path == "[heap]") return kHeapKindBrk;
    if (line.path == "[stack]") return kHeapKindStack;
    if (line.inode == 0 && line.path.empty()) return kHeapKindMmap;
    return kHeapKindNone;
}

uint32_t HeapFlagsOf(const MapsLine& line)
{
    if (!line.Writable() && line.perms[0] == '-' && line.perms[2] == '-') return kHeapDecommit;
    uint32_t flags = kHeapFixed;
    if (line.end - line.start >= kBigBlock) flags |= kHeapBig;
    return flags;
}

MapsSummary SummarizeMaps(std::string_view maps, std::string_view exeTarget)
{
    MapsSummary summary;
    bool baseFound = false;
    ForEachMapsLine(maps, [&](const MapsLine& line) {
        if (!baseFound && !exeTarget.empty() && line.offset == 0 && line.path == exeTarget) {
            summary.loadAddress = line.start;
            baseFound = true;
        }
        if (HeapKindOf(line) == kHeapKindNone) return;
        ++summary.heap.blocks;
        if ((HeapFlagsOf(line) & kHeapDecommit) == 0) summary.heap.bytes += line.end - line.start;
    });
    return summary;
}

std::vector<HeapEntry> HeapEntriesFromMaps(std::string_view maps, uint32_t processId, uint64_t heapId)
{
    std::vector<HeapEntry> entries;
    ForEachMapsLine(maps, [&](const MapsLine& line) {
        if (HeapKindOf(line) != heapId) return;
        HeapEntry entry;
        entry.address = line.start;
        entry.blockSize = line.end - line.start;
        entry.flags = HeapFlagsOf(line);
        entry.processId = processId;
        entry.heapId = heapId;
        entries.push_back(entry);
    });
    return entries;
}

std::vector<HeapListEntry> HeapListsFromMaps(std::string_view maps, uint32_t processId)
{
    bool present[kHeapKinds] = {};
    ForEachMapsLine(maps, [&](const MapsLine& line) {
        present[HeapKindOf(line)] = true;
        if (PrivateFileMapping(line)) present[kHeapKindCopied] = true;
    });
    std::vector<HeapListEntry> lists;
    for (uint64_t kind : {kHeapKindBrk, kHeapKindMmap, kHeapKindStack, kHeapKindCopied}) {
        if (!present[kind]) continue;
        HeapListEntry list;
        list.processId = processId;
        list.heapId = kind;
        list.flags = kind == kHeapKindBrk ? 1u : 0u;  // 1 marks the default heap
        lists.push_back(list);
    }
    return lists;
}

bool PrivateFileMapping(const MapsLine& line) { return line.Private() && line.inode != 0; }

uint32_t ModuleIdOf(uint32_t devMajor, uint32_t devMinor, uint64_t inode)
{
    // FNV-1a over the 16 bytes of (major, minor, inode): the same file gives the same id in every run.
    uint32_t hash = 2166136261u;
    auto mix = [&hash](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            hash ^= static_cast<uint32_t>((value >> (8 * i)) & 0xFF);
            hash *= 16777619u;
        }
    };
    mix(devMajor, 4);
    mix(devMinor, 4);
    mix(inode, 8);
    return hash;
}

std::vector<ModuleEntry> ModulesFromMaps(std::string_view maps, uint32_t processId)
{
    struct Span {
        ModuleEntry entry;
        uint64_t end = 0;
        bool executable = false;
    };
    std::vector<Span> spans;
    std::unordered_map<uint32_t, size_t> byId;
    ForEachMapsLine(maps, [&](const MapsLine& line) {
        if (line.inode == 0 || line.path.empty() || line.path[0] != '/') return;
        if (line.path.starts_with("/memfd:")) return;
        const uint32_t id = ModuleIdOf(line.devMajor, line.devMinor, line.inode);
        auto [it, added] = byId.emplace(id, spans.size());
        if (added) {
            Span span;
            span.entry.moduleId = id;
            span.entry.processId = processId;
            span.entry.globalUsage = 1;
            span.entry.processUsage = 1;
            span.entry.baseAddress = line.start;
            const std::string_view path = WithoutDeleted(line.path);
            span.entry.exePath = Widen(std::string(path));
            span.entry.moduleName = Widen(std::string(FileNameOf(path)));
            spans.push_back(std::move(span));
        }
        Span& span = spans[it->second];
        span.entry.baseAddress = std::min(span.entry.baseAddress, line.start);
        span.end = std::max(span.end, line.end);
        span.executable = span.executable || line.Executable();
    });
    std::vector<ModuleEntry> modules;
    for (Span& span : spans) {
        if (!span.executable) continue;  // data files such as locale archives
        span.entry.baseSize = span.end - span.entry.baseAddress;
        modules.push_back(std::move(span.entry));
    }
    return modules;
}

}  // namespace kestrun::platform::linux_backend
