// The Threads dialog without its window: the threads of one process with their
// times, priorities and the process each one runs in, kept across refreshes by
// the thread id's text.
#pragma once

#include "dialogs/core/DetailModel.h"
#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"
#include "platform/Types.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace kestrun {

struct ThreadRow : RowRecord {
    std::wstring key;  // the thread id, "%08lX": the first cell
    platform::FileTime creation;  // shown as it was when the row was made
    platform::FileTime user;      // 100 ns units
    platform::FileTime kernel;
    int32_t basePriority = 0;     // shown as it was when the row was made
    int32_t deltaPriority = 0;
    uint32_t usageCount = 0;
    uint32_t accessKey = 0;
    std::wstring currentProcess;  // its file name, or its id; "!" first when not the owner
};

enum ThreadColumn : int {
    kColThreadId,
    kColCreated,
    kColUserTime,
    kColKernelTime,
    kColBasePriority,
    kColDeltaPriority,
    kColUsage,
    kColCurrentProcess,
    kColThreadAccessKey,
    kThreadColumnCount
};

struct ThreadRowTraits {
    using Record = ThreadRow;
    using Key = std::wstring;
    static constexpr size_t kColumns = kThreadColumnCount;
    static constexpr Placement kSortedPlacement = Placement::kAppend;
    static const Key& KeyOf(const ThreadRow& row) { return row.key; }
    static const ColumnTable<ThreadRow, kColumns>& Columns();
};

// The Created text: "0000/00/00 00:00:00.000" for no time, the calendar time
// (no time-zone conversion) "%04u/%02u/%02u %02u:%02u:%02u.%03u", or "Err#%lu"
// with the error code when the time names no date.
std::wstring CreationTimeText(const platform::FileTime& creation);

class ThreadsModel final : public DetailListModel<ThreadRowTraits> {
public:
    static const DetailDialogInfo kInfo;

    ThreadsModel(platform::Platform& platform, ListView& list, DetailControls& controls);

    bool Refresh(RefreshMode mode) override;

private:
    // The Current Proc. text of a thread; file names are read once per process and refresh.
    std::wstring CurrentProcessText(const platform::ThreadEntry& thread);

    std::unordered_map<uint32_t, std::wstring> fileNames_;  // this refresh's, by process id
};

}  // namespace kestrun
