// The Processes page without its window: one row per running process with its
// CPU and heap figures, kept across refreshes (rows matched by process id, only
// changed cells rewritten, vanished processes removed, new ones inserted at
// their sorted place), and the actions on the selected process.
#pragma once

#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"
#include "platform/Platform.h"

#include <cstdint>
#include <string>

namespace kestrun {

// One list row. What every refresh reads and writes comes first, next to the
// row-keeping fields; what only a new row or a sort reads comes last.
struct ProcessRow : RowRecord {
    uint32_t lastTick = 0;  // tick count of the last CPU sample, 0 before the first
    uint32_t processId = 0;
    uint32_t primaryThread = 0;  // the earliest-created thread; 0 when none was found
    uint32_t cpuDelta = 0;  // CPU time since the stored CPU time, 100 ns units
    uint32_t cpuUsage = 0;  // usage shown, hundredths of a percent
    uint32_t peakCpu = 0;   // highest usage shown, hundredths of a percent
    uint32_t blocks = 0;
    uint32_t threads = 0;
    uint32_t accessKey = 0;
    platform::FileTime cpuTime;  // kernel plus user time, 100 ns units
    uint64_t memory = 0;         // bytes in all heap entries
    int64_t memoryDelta = 0;     // memory now minus memory at the previous refresh
    uint64_t peakMemory = 0;
    bool systemProcess = false;  // named a system process by the platform
    uint32_t image = 0;          // the platform's count of the programs the process ran (exec)
    uint64_t startTime = 0;      // with the process id, the process's identity
    uint64_t loadAddress = 0;
    std::wstring name;
    std::wstring folder;
};

enum ProcessColumn : int {
    kColName,
    kColPid,
    kColCpuUsage,
    kColPeakCpu,
    kColCpuTime,
    kColMemUsage,
    kColDeltaMem,
    kColPeakMem,
    kColMemBlocks,
    kColThreads,
    kColLoadAddress,
    kColAccessKey,
    kColPath,
    kProcessColumnCount
};

// A row's key: the process id and its start time, so a process that reuses the
// id of an ended one gets a row of its own.
constexpr uint64_t ProcessKey(uint32_t processId, uint64_t startTime) { return (startTime << 32) | processId; }

struct ProcessRowTraits {
    using Record = ProcessRow;
    using Key = uint64_t;
    static constexpr size_t kColumns = kProcessColumnCount;
    static Key KeyOf(const ProcessRow& row) { return ProcessKey(row.processId, row.startTime); }
    // The thirteen columns: titles, alignments, widths, cell texts and orders.
    static const ColumnTable<ProcessRow, kColumns>& Columns();
};

// The names of the system processes, separated by '|'.
inline constexpr wchar_t kSystemProcessList[] = L"nk.exe|device.exe|services.exe|filesys.exe|gwes.exe";
// A name is a system-process name when its lower-case form occurs anywhere in the list.
bool IsSystemProcessName(const std::wstring& name);

// CPU usage in hundredths of a percent from a CPU delta (100 ns units) over an
// interval in milliseconds on a number of processors; capped at 10000.
uint32_t CpuUsage(uint32_t cpuDelta, uint32_t lastTick, uint32_t newTick, unsigned processors);

// The shortest interval, in milliseconds, over which CPU usage is sampled when
// CPU times advance in steps of resolutionMs: over a shorter one a single step
// would read as a large share of the processor. 0 (exact times) samples always.
inline constexpr uint32_t kCpuSampleSteps = 10;
constexpr uint32_t MinCpuSampleInterval(uint32_t resolutionMs) { return resolutionMs * kCpuSampleSteps; }

// The text of one column of a row.
std::wstring ProcessCellText(const ProcessRow& row, int column);

class ProcessesModel {
public:
    ProcessesModel(platform::Platform& platform, ListView& list);

    // Creates the thirteen columns in the list.
    void InsertColumns();

    // One refresh of every row. False (after an error box) when the snapshot
    // could not be taken, read or closed; the list then keeps what it had.
    // A process that ends before its row could be filled gets no row.
    // A refresh started while another is showing a box is skipped.
    bool Refresh();

    // A header click: toggles or selects the sort column, then sorts.
    void ClickHeader(int column);
    // Sorts all rows when a sort order is set.
    void SortIfOrdered();

    // End Process on the selected row, with its questions and error boxes.
    void EndProcess();

    [[nodiscard]] bool HasSelection() const { return rows_.Selected() != nullptr; }
    // The Set Priority menu: usable while shown with a selected row other than the kernel's.
    [[nodiscard]] bool CanSetPriority(bool shown) const;
    [[nodiscard]] int GetPriority() const;
    void SetPriority(int level);

    // Selects the process's row at the first refresh that finds it.
    void SelectWhenListed(uint32_t processId) { pidToSelect_ = processId; }
    [[nodiscard]] uint32_t processToSelect() const { return pidToSelect_; }

    [[nodiscard]] const ProcessRow* Selected() const { return rows_.Selected(); }
    [[nodiscard]] int sortOrder() const { return rows_.sortOrder(); }
    [[nodiscard]] int sortColumn() const { return rows_.sortColumn(); }
    [[nodiscard]] size_t rowCount() const { return rows_.size(); }
    // Releases every row record (the window is going).
    void Clear() { rows_.Clear(); }

private:
    void UpdateRow(const platform::Snapshot& snapshot, const platform::ProcessEntry& process, unsigned processors, uint32_t minInterval);

    platform::Platform& platform_;
    RowKeeper<ProcessRowTraits> rows_;
    uint32_t pidToSelect_ = 0;  // 0: none
};

}  // namespace kestrun
