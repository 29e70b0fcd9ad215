#include "pages/core/ProcessesModel.h"

#include "display/core/Format.h"
#include "display/core/MessageBox.h"
#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <optional>

namespace kestrun {

namespace {

using platform::FileTime;

std::wstring ToLower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return text;
}

std::wstring Percent(uint32_t hundredths) { return Printf(L"%.1f%%", hundredths * 0.01); }

// Whole milliseconds of a CPU time, on their low 32 bits as the column shows them.
uint32_t Milliseconds(const FileTime& time) { return static_cast<uint32_t>(FileTimeToMilliseconds(time)); }

std::wstring Kilobytes(uint64_t bytes) { return Printf(L"%llu k", static_cast<unsigned long long>(bytes >> 10)); }
std::wstring Hex8(uint64_t value) { return Printf(L"%08llX", static_cast<unsigned long long>(value)); }

using Row = ProcessRow;

// The folder of a process, as its Path cell shows it; nullopt when the process
// has ended (it is gone, or only its exit status is left).
std::optional<std::wstring> FolderWhileRunning(platform::ToolHelp& toolHelp, uint32_t processId)
{
    const std::unique_ptr<platform::ProcessHandle> process = toolHelp.OpenProcess(processId);
    if (!process) {
        if (platform::GetLastError() == ESRCH) return std::nullopt;
        return std::wstring();  // not ours to open (a kernel thread)
    }
    const std::optional<std::wstring> path = process->ModuleFileName();
    if (path) return DirectoryOf(*path);
    const uint32_t error = platform::GetLastError();
    if (error == ESRCH) return std::nullopt;
    return Printf(L"Err#%lu", static_cast<unsigned long>(error));
}

}  // namespace

const ColumnTable<ProcessRow, kProcessColumnCount>& ProcessRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<ProcessRow, kProcessColumnCount> columns = {{
        {L"Name", A::kLeft, 100, [](const Row& r) { return r.name; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.name, b.name); }},
        {L"PID", A::kLeft, 70, [](const Row& r) { return Hex8(r.processId); },
         [](const Row& a, const Row& b) { return Order(a.processId, b.processId); }},
        // Usage is shown, the raw delta orders: two rows showing the same rounded
        // percentage still sort by what they really used.
        {L"CPU Usage", A::kRight, kAutoColumnWidth, [](const Row& r) { return Percent(r.cpuUsage); },
         [](const Row& a, const Row& b) { return Order(a.cpuDelta, b.cpuDelta); }},
        {L"Peak CPU", A::kRight, kAutoColumnWidth, [](const Row& r) { return Percent(r.peakCpu); },
         [](const Row& a, const Row& b) { return Order(a.peakCpu, b.peakCpu); }},
        {L"CPU Time", A::kLeft, 80, [](const Row& r) { return FormatMilliseconds(Milliseconds(r.cpuTime)); },
         [](const Row& a, const Row& b) { return platform::CompareFileTime(a.cpuTime, b.cpuTime); }},
        {L"Mem. Usage", A::kRight, kAutoColumnWidth, [](const Row& r) { return Kilobytes(r.memory); },
         [](const Row& a, const Row& b) { return Order(a.memory, b.memory); }},
        {L"Delta Mem.", A::kRight, kAutoColumnWidth,
         [](const Row& r) { return Printf(L"%lld k", static_cast<long long>(r.memoryDelta / 1024)); },  // toward zero
         [](const Row& a, const Row& b) { return Order(a.memoryDelta, b.memoryDelta); }},
        {L"Peak Mem.", A::kRight, kAutoColumnWidth, [](const Row& r) { return Kilobytes(r.peakMemory); },
         [](const Row& a, const Row& b) { return Order(a.peakMemory, b.peakMemory); }},
        {L"Mem. Blocks", A::kRight, kAutoColumnWidth, [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.blocks)); },
         [](const Row& a, const Row& b) { return Order(a.blocks, b.blocks); }},
        {L"Threads", A::kRight, kAutoColumnWidth, [](const Row& r) { return Printf(L"%u", r.threads); },
         [](const Row& a, const Row& b) { return Order(a.threads, b.threads); }},
        {L"Load Address", A::kLeft, kAutoColumnWidth, [](const Row& r) { return Hex8(r.loadAddress); },
         [](const Row& a, const Row& b) { return Order(a.loadAddress, b.loadAddress); }},
        {L"Access Key", A::kLeft, kAutoColumnWidth, [](const Row& r) { return Hex8(r.accessKey); },
         [](const Row& a, const Row& b) { return Order(a.accessKey, b.accessKey); }},
        {L"Path", A::kLeft, 100, [](const Row& r) { return r.folder; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.folder, b.folder); }},
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

std::wstring ProcessCellText(const ProcessRow& row, int column)
{
    return ProcessRowTraits::Columns()[static_cast<size_t>(column)].text(row);
}

ProcessesModel::ProcessesModel(platform::Platform& platform, ListView& list) : platform_(platform), rows_(list) {}

void ProcessesModel::InsertColumns() { rows_.InsertColumns(); }

bool ProcessesModel::Refresh()
{
    const auto pass = rows_.BeginRefresh();
    if (!pass) return false;
    platform::ToolHelp& toolHelp = platform_.toolHelp();

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
    rows_.FinishRefresh();
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

    bool sample = true;
    const uint64_t key = ProcessKey(process.processId, process.startTime);
    // A new process's folder first: one that has ended meanwhile is left out
    // rather than listed half read.
    std::optional<std::wstring> folder;
    if (rows_.Find(key) == nullptr) {
        folder = FolderWhileRunning(toolHelp, process.processId);
        if (!folder) return;
    }
    auto row = rows_.FindOrInsert(key, [&](ProcessRow& fresh) {
        fresh.processId = process.processId;
        fresh.startTime = process.startTime;
        fresh.image = process.image;
        fresh.loadAddress = process.memoryBase;
        fresh.name = process.exeFile;
        fresh.folder = std::move(*folder);
        fresh.cpuTime = cpuTime;
        fresh.memory = memory;
        fresh.peakMemory = memory;
        fresh.blocks = blocks;
        fresh.threads = process.threadCount;
        fresh.accessKey = process.accessKey;
        fresh.systemProcess = process.systemProcess;
    });
    if (!row) return;  // the list refused the row: nothing more to do for it

    if (!row.isNew() && row->image != process.image) {
        // The process runs another program under its id: its name, folder and
        // load address are that program's.
        if (std::optional<std::wstring> newFolder = FolderWhileRunning(toolHelp, process.processId)) {
            row->image = process.image;
            row.Set(row->name, process.exeFile, kColName);
            row.Set(row->folder, *newFolder, kColPath);
            row.Set(row->loadAddress, process.memoryBase, kColLoadAddress);
            row->systemProcess = process.systemProcess;
        }
    }
    if (!row.isNew()) {
        // Too soon after the row's last sample for coarse CPU times: no new sample.
        // The stored time and tick stay, so this interval counts into the next one,
        // and the usage shown stays.
        sample = static_cast<uint32_t>(tick - row->lastTick) >= minInterval;
        if (sample && row.Set(row->cpuDelta, FileTimeDifference(row->cpuTime, cpuTime), kColCpuUsage)) {
            row->cpuUsage = CpuUsage(row->cpuDelta, row->lastTick, tick, processors);
            if (row->peakCpu < row->cpuUsage) row.Set(row->peakCpu, row->cpuUsage, kColPeakCpu);
        }
        // Within the same whole millisecond the stored time stays, so the rest
        // keeps adding up into the next CPU delta.
        if (sample && Milliseconds(cpuTime) != Milliseconds(row->cpuTime)) {
            row->cpuTime = cpuTime;
            row.Mark(kColCpuTime);
        }
        row.Set(row->memoryDelta, static_cast<int64_t>(memory - row->memory), kColDeltaMem);
        if (row->peakMemory < memory) row.Set(row->peakMemory, memory, kColPeakMem);
        row.Set(row->memory, memory, kColMemUsage);
        row.Set(row->blocks, blocks, kColMemBlocks);
        row.Set(row->threads, process.threadCount, kColThreads);
        row.Set(row->accessKey, process.accessKey, kColAccessKey);
    }

    if (pidToSelect_ != 0 && pidToSelect_ == process.processId) {
        rows_.Select(*row);
        pidToSelect_ = 0;
    }
    row->primaryThread = cpu.primaryThread;
    if (sample) row->lastTick = tick;
    rows_.Commit(row);
}

void ProcessesModel::ClickHeader(int column) { rows_.ClickHeader(column); }

void ProcessesModel::SortIfOrdered() { rows_.SortIfOrdered(); }

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
