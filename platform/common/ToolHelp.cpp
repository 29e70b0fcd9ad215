#include "platform/ToolHelp.h"

namespace kestrun::platform {

ProcessCpu ToolHelp::SumThreadTimes(const Snapshot& snapshot, uint32_t processId)
{
    ProcessCpu result;
    FileTime earliest = FileTime::FromValue(~uint64_t{0});
    for (const ThreadEntry& thread : snapshot.threads) {
        if (thread.ownerProcessId != processId) continue;
        ThreadTimes times;
        if (!GetThreadTimes(thread.threadId, times)) break;  // what was summed so far stands
        result.cpuTime += times.kernel.Value() + times.user.Value();
        if (CompareFileTime(earliest, times.creation) > 0) {  // an equal time keeps the first thread
            earliest = times.creation;
            result.primaryThread = thread.threadId;
        }
    }
    return result;
}

std::optional<HeapTotals> ToolHelp::SumHeap(uint32_t processId)
{
    std::optional<Snapshot> snapshot = CreateSnapshot(kSnapHeapList, processId);
    if (!snapshot) return std::nullopt;
    HeapTotals totals;
    for (const HeapListEntry& list : snapshot->heapLists) {
        std::optional<std::vector<HeapEntry>> entries = HeapEntries(processId, list.heapId);
        if (!entries) continue;
        for (const HeapEntry& entry : *entries) {
            totals.bytes += entry.blockSize;
            ++totals.blocks;
        }
    }
    CloseSnapshot(*snapshot);
    return totals;
}

}  // namespace kestrun::platform
