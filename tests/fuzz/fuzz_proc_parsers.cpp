// Fuzz target: the /proc stat and maps parsers must accept or reject any text
// without crashing. The first byte picks the parser.
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcStat.h"
#include "platform/linux/ProcStatus.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kestrun::platform::linux_backend;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    (void)AnonymousInUse(text);  // any text: a number or 0, never a crash
    if (data[0] % 2 == 0) {
        if (const auto stat = ParseProcStat(text)) {
            // A parsed name never runs past the text it came from.
            if (stat->comm.size() > text.size()) __builtin_trap();
        }
    } else {
        const MapsSummary summary = SummarizeMaps(text, "/usr/bin/prog");
        const auto modules = ModulesFromMaps(text, 1);
        for (const auto& module : modules)
            if (module.baseSize > ~uint64_t{0} - module.baseAddress) __builtin_trap();
        const auto lists = HeapListsFromMaps(text, 1);
        uint32_t blocks = 0;
        for (const auto& list : lists) blocks += static_cast<uint32_t>(HeapEntriesFromMaps(text, 1, list.heapId).size());
        if (blocks != summary.heap.blocks) __builtin_trap();  // the sum and the walk agree
    }
    return 0;
}
