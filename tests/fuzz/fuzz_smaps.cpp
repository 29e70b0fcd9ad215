// Fuzz target: the smaps reader of the Heap dialog must accept or reject any
// text without crashing, and list the same regions the maps reader counts.
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcSmaps.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kestrun::platform::linux_backend;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    uint32_t rows = 0;
    for (const auto& list : HeapListsFromMaps(text, 1)) {
        for (const auto& entry : HeapEntriesFromSmaps(text, 1, list.heapId)) {
            if (entry.heapId != list.heapId || entry.lockCount > 1) __builtin_trap();
            ++rows;
        }
    }
    // Attribute lines never parse as regions, so both readers see the same regions.
    if (rows > SummarizeMaps(text, "").heap.blocks) __builtin_trap();
    return 0;
}
