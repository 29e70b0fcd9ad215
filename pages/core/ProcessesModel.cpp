#include "pages/core/ProcessesModel.h"

#include "display/core/Format.h"
#include "display/core/MessageBox.h"

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <memory>

namespace kestrun {

namespace {

using platform::FileTime;

template <typename... Args>
std::wstring Printf(const wchar_t* format, Args... args)
{
    wchar_t buffer[64];
    const int n = std::swprintf(buffer, sizeof buffer / sizeof buffer[0], format, args...);
    return n < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(n));
}

template <typename T>
int Order(T a, T b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareNoCase(const std::wstring& a, const std::wstring& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const wint_t ca = std::towlower(static_cast<wint_t>(a[i]));
        const wint_t cb = std::towlower(static_cast<wint_t>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return Order(a.size(), b.size());
}

std::wstring ToLower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

std::wstring Percent(uint32_t hundredths) { return Printf(L"%.1f%%", hundredths * 0.01); }

// Whole milliseconds of a CPU time, on their low 32 bits as the column shows them.
uint32_t Milliseconds(const FileTime& time) { return static_cast<uint32_t>(FileTimeToMilliseconds(time)); }

}  // namespace

const std::array<ColumnSpec, kProcessColumnCount>& ProcessColumns()
{
    static const std::array<ColumnSpec, kProcessColumnCount> columns = {{
        {L"Name", ColumnAlign::kLeft, 100},
        {L"PID", ColumnAlign::kLeft, 70},
        {L"CPU Usage", ColumnAlign::kRight, kAutoColumnWidth},
        {L"Peak CPU", ColumnAlign::kRight, kAutoColumnWidth},
        {L"CPU Time", ColumnAlign::kLeft, 80},
        {L"Mem. Usage", ColumnAlign::kRight, kAutoColumnWidth},
        {L"Delta Mem.", ColumnAlign::kRight, kAutoColumnWidth},
        {L"Peak Mem.", ColumnAlign::kRight, kAutoColumnWidth},
        {L"Mem. Blocks", ColumnAlign::kRight, kAutoColumnWidth},
        {L"Threads", ColumnAlign::kRight, kAutoColumnWidth},
        {L"Load Address", ColumnAlign::kLeft, kAutoColumnWidth},
        {L"Access Key", ColumnAlign::kLeft, kAutoColumnWidth},
        {L"Path", ColumnAlign::kLeft, 100},
    }};
    return columns;
}

bool IsSystemProcessName(const std::wstring& name)
{
    return std::wstring_view(kSystemProcessList).find(ToLower(name)) != std::wstring_view::npos;
}

uint32_t CpuUsage(uint32_t cpuDelta, uint32_t lastTick, uint32_t newTick, unsigned processors)
{
    if (cpuDelta == 0 || lastTick == 0 || newTick == lastTick) return 0;
    // 100 ns units over milliseconds give hundredths of a percent of one processor;
    // over all processors the whole machine busy is 100.0 %.
    const uint64_t interval = uint64_t{static_cast<uint32_t>(newTick - lastTick)} * std::max(processors, 1u);
    return static_cast<uint32_t>(std::min<uint64_t>(cpuDelta / interval, 10000));
}

int ProcessRowTraits::Compare(const ProcessRow& a, const ProcessRow& b, int column)
{
    switch (column) {
    case kColName: return CompareNoCase(a.name, b.name);
    case kColPid: return Order(a.processId, b.processId);
    case kColCpuUsage: return Order(a.cpuDelta, b.cpuDelta);  // the raw delta, not the shown percentage
    case kColPeakCpu: return Order(a.peakCpu, b.peakCpu);
    case kColCpuTime: return platform::CompareFileTime(a.cpuTime, b.cpuTime);
    case kColMemUsage: return Order(a.memory, b.memory);
    case kColDeltaMem: return Order(a.memoryDelta, b.memoryDelta);
    case kColPeakMem: return Order(a.peakMemory, b.peakMemory);
    case kColMemBlocks: return Order(a.blocks, b.blocks);
    case kColThreads: return Order(a.threads, b.threads);
    case kColLoadAddress: return Order(a.loadAddress, b.loadAddress);
    case kColAccessKey: return Order(a.accessKey, b.accessKey);
    case kColPath: return CompareNoCase(a.folder, b.folder);
    default: return 0;
    }
}

std::wstring ProcessCellText(const ProcessRow& row, int column, uint32_t usage)
{
    switch (column) {
    case kColName: return row.name;
    case kColPid: return Printf(L"%08lX", static_cast<unsigned long>(row.processId));
    case kColCpuUsage: return Percent(usage);
    case kColPeakCpu: return Percent(row.peakCpu);
    case kColCpuTime: return FormatMilliseconds(Milliseconds(row.cpuTime));
    case kColMemUsage: return Printf(L"%llu k", static_cast<unsigned long long>(row.memory >> 10));
    case kColDeltaMem: return Printf(L"%lld k", static_cast<long long>(row.memoryDelta / 1024));  // toward zero
    case kColPeakMem: return Printf(L"%llu k", static_cast<unsigned long long>(row.peakMemory >> 10));
    case kColMemBlocks: return Printf(L"%lu", static_cast<unsigned long>(row.blocks));
    case kColThreads: return Printf(L"%u", row.threads);
    case kColLoadAddress: return Printf(L"%08llX", static_cast<unsigned long long>(row.loadAddress));
    case kColAccessKey: return Printf(L"%08lX", static_cast<unsigned long>(row.accessKey));
    case kColPath: return row.folder;
    default: return {};
    }
}

ProcessesModel::ProcessesModel(platform::Platform& platform, ListView& list) : platform_(platform), rows_(list) {}

void ProcessesModel::InsertColumns()
{
    const auto& columns = ProcessColumns();
    for (size_t i = 0; i < columns.size(); ++i)
        rows_.list().InsertColumn(static_cast<int>(i), columns[i].title, columns[i].align, columns[i].width);
}

bool ProcessesModel::Refresh()
{
    // A refresh that shows a box runs the event loop; ticks meanwhile skip the page.
    if (refreshing_) return false;
    refreshing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{refreshing_};

    platform::ToolHelp& toolHelp = platform_.toolHelp();
    rows_.BeginRefresh();

    // Threads are needed only where the per-process sums walk them.
    uint32_t flags = platform::kSnapProcess | platform::kSnapNoHeaps;
    if (!toolHelp.HasCheapProcessSums()) flags |= platform::kSnapThread;
    std::optional<platform::Snapshot> snapshot = toolHelp.CreateSnapshot(flags, 0);
    if (!snapshot) {
        ShowError(L"The process list snapshot cannot be created.");
        return false;
    }
    if (snapshot->processes.empty()) {
        platform::Fail(ESRCH);
        ShowError(L"The first process entry cannot be read.");
        toolHelp.CloseSnapshot(*snapshot);
        return false;
    }

    const unsigned processors = std::max(platform_.kernel().ProcessorCount(), 1u);
    const uint32_t minInterval = MinCpuSampleInterval(toolHelp.CpuTimeResolutionMs());
    {
        platform::AllProcessAccess access(toolHelp);
        for (const platform::ProcessEntry& process : snapshot->processes) UpdateRow(*snapshot, process, processors, minInterval);
    }
    if (!toolHelp.CloseSnapshot(*snapshot)) {
        ShowError(L"The process list snapshot cannot be closed.");
        return false;  // vanished rows stay until a later refresh
    }
    rows_.Sweep();
    rows_.EndRefresh();
    return true;
}

void ProcessesModel::UpdateRow(const platform::Snapshot& snapshot, const platform::ProcessEntry& process, unsigned processors,
                               uint32_t minInterval)
{
    platform::ToolHelp& toolHelp = platform_.toolHelp();
    const uint32_t tick = platform_.kernel().GetTickCount();
    const platform::ProcessCpu cpu = toolHelp.SumThreadTimes(snapshot, process.processId);
    const FileTime cpuTime = FileTime::FromValue(cpu.cpuTime);
    const std::optional<platform::HeapTotals> heap = toolHelp.SumHeap(process.processId);
    const uint64_t memory = heap ? heap->bytes : 0;
    const uint32_t blocks = heap ? heap->blocks : 0;

    RowKeeper<ProcessRowTraits>::Marks marks;
    bool sample = true;
    ProcessRow* row = rows_.Find(process.processId);
    if (row == nullptr) {
        ProcessRow record;
        record.processId = process.processId;
        record.loadAddress = process.memoryBase;
        record.name = process.exeFile;
        record.folder = FolderOf(process.processId);
        record.cpuTime = cpuTime;
        record.memory = memory;
        record.peakMemory = memory;
        record.blocks = blocks;
        record.threads = process.threadCount;
        record.accessKey = process.accessKey;
        record.systemProcess = process.systemProcess;
        marks.set();
        row = rows_.Insert(std::move(record), process.exeFile);
        if (row == nullptr) return;  // the list refused the row: nothing more to do for it
    } else {
        // Too soon after the row's last sample for coarse CPU times: no new sample.
        // The stored time and tick stay, so this interval counts into the next one,
        // and the usage shown stays.
        sample = static_cast<uint32_t>(tick - row->lastTick) >= minInterval;
        const uint32_t cpuDelta = FileTimeDifference(row->cpuTime, cpuTime);
        if (sample && cpuDelta != row->cpuDelta) {
            row->cpuDelta = cpuDelta;
            marks.set(kColCpuUsage);
        }
        // Within the same whole millisecond the stored time stays, so the rest
        // keeps adding up into the next CPU delta.
        if (sample && Milliseconds(cpuTime) != Milliseconds(row->cpuTime)) {
            row->cpuTime = cpuTime;
            marks.set(kColCpuTime);
        }
        const int64_t memoryDelta = static_cast<int64_t>(memory - row->memory);
        if (memoryDelta != row->memoryDelta) {
            row->memoryDelta = memoryDelta;
            marks.set(kColDeltaMem);
        }
        if (row->peakMemory < memory) {
            row->peakMemory = memory;
            marks.set(kColPeakMem);
        }
        if (memory != row->memory) {
            row->memory = memory;
            marks.set(kColMemUsage);
        }
        if (blocks != row->blocks) {
            row->blocks = blocks;
            marks.set(kColMemBlocks);
        }
        if (process.threadCount != row->threads) {
            row->threads = process.threadCount;
            marks.set(kColThreads);
        }
        if (process.accessKey != row->accessKey) {
            row->accessKey = process.accessKey;
            marks.set(kColAccessKey);
        }
        rows_.CheckPlace(*row);
    }

    if (pidToSelect != 0 && pidToSelect == process.processId) {
        rows_.Select(*row);
        pidToSelect = 0;
    }

    rows_.WriteMarked(*row, marks, [&](int column, RowKeeper<ProcessRowTraits>::Marks& later) {
        if (column != kColCpuUsage) return ProcessCellText(*row, column, 0);
        const uint32_t usage = CpuUsage(row->cpuDelta, row->lastTick, tick, processors);
        if (row->peakCpu < usage) {
            row->peakCpu = usage;
            later.set(kColPeakCpu);  // written in this same pass
        }
        return ProcessCellText(*row, column, usage);
    });

    row->blocks = blocks;
    row->primaryThread = cpu.primaryThread;
    if (sample) row->lastTick = tick;
    rows_.Touch(*row);
}

// The folder of a process's executable: empty when the process cannot be
// opened or the path has no folder, "Err#n" when the path cannot be read.
std::wstring ProcessesModel::FolderOf(uint32_t processId)
{
    std::unique_ptr<platform::ProcessHandle> process = platform_.toolHelp().OpenProcess(processId);
    if (!process) return {};
    const std::optional<std::wstring> path = process->ModuleFileName();
    if (!path) return Printf(L"Err#%lu", static_cast<unsigned long>(platform::GetLastError()));
    return DirectoryOf(*path);
}

void ProcessesModel::ClickHeader(int column)
{
    rows_.ClickHeader(column);
    rows_.Sort();
}

void ProcessesModel::SortIfOrdered()
{
    if (rows_.sortOrder() != 0) rows_.Sort();
}

void ProcessesModel::EndProcess()
{
    const ProcessRow* row = rows_.Selected();
    if (row == nullptr) {
        MessageBox(L"You must first select a process.", kMbOk);
        return;
    }
    // Copies: a refresh may remove the row while the question is open.
    const uint32_t processId = row->processId;
    const std::wstring name = ToLower(row->name);
    const bool system = IsSystemProcessName(name) || row->systemProcess;
    const std::wstring question = system ? L"Do you really want to terminate the system process '" + name +
                                               L"'?\nThis action may crash your device!"
                                         : L"Do you really want to terminate '" + name + L"'?";
    if (MessageBox(question, kMbYesNo | kMbDefButton2) != kIdYes) return;

    std::unique_ptr<platform::ProcessHandle> process = platform_.toolHelp().OpenProcess(processId);
    if (!process) {
        ShowError(L"The process cannot be accessed.");
        return;
    }
    if (!process->Terminate(-1)) ShowError(L"The process cannot be terminated.");
}

bool ProcessesModel::CanSetPriority(bool shown) const
{
    const ProcessRow* row = rows_.Selected();
    return shown && row != nullptr && CompareNoCase(row->name, L"NK.EXE") != 0;
}

int ProcessesModel::GetPriority() const
{
    const ProcessRow* row = rows_.Selected();
    if (row == nullptr) return platform::kThreadPriorityError;
    platform::AllProcessAccess access(platform_.toolHelp());
    return platform_.toolHelp().GetThreadPriority(row->primaryThread);
}

void ProcessesModel::SetPriority(int level)
{
    const ProcessRow* row = rows_.Selected();
    if (row == nullptr) return;
    const uint32_t thread = row->primaryThread;
    bool set = false;
    {
        platform::AllProcessAccess access(platform_.toolHelp());
        set = platform_.toolHelp().SetThreadPriority(thread, level);
    }
    if (!set) ShowError(L"The priority cannot be set.");
}

}  // namespace kestrun
