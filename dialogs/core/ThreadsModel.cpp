#include "dialogs/core/ThreadsModel.h"

#include "display/core/Format.h"
#include "display/core/SystemTime.h"

#include <cerrno>

namespace kestrun {

namespace {

using Row = ThreadRow;
using platform::FileTime;

constexpr size_t kCellLimit = 99;  // cells are compared as read into 100-character buffers

std::wstring Times(const FileTime& time) { return FormatMilliseconds(static_cast<uint32_t>(FileTimeToMilliseconds(time))); }

// The file name of a path: after its last separator, the whole path when it has none.
std::wstring FileNameOf(const std::wstring& path)
{
    const wchar_t separator = (!path.empty() && path[0] == L'/') ? L'/' : L'\\';
    const size_t last = path.rfind(separator);
    return last == std::wstring::npos ? path : path.substr(last + 1);
}

}  // namespace

const DetailDialogInfo ThreadsModel::kInfo = {133, "IDD_THREADSDLG", L"#threads",
                                              L"This dialog shows the threads of the selected process.", 50};

const ColumnTable<ThreadRow, kThreadColumnCount>& ThreadRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<ThreadRow, kThreadColumnCount> columns = {{
        {L"Thread ID", A::kLeft, 70, [](const Row& r) { return r.key; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.key, b.key, kCellLimit); }},
        {L"Created", A::kLeft, 140, [](const Row& r) { return CreationTimeText(r.creation); },
         [](const Row& a, const Row& b) { return platform::CompareFileTime(a.creation, b.creation); }},
        {L"User Time", A::kLeft, 80, [](const Row& r) { return Times(r.user); },
         [](const Row& a, const Row& b) { return platform::CompareFileTime(a.user, b.user); }},
        {L"Kernel Time", A::kLeft, 80, [](const Row& r) { return Times(r.kernel); },
         [](const Row& a, const Row& b) { return platform::CompareFileTime(a.kernel, b.kernel); }},
        // The numeric columns order by the numbers their cells show.
        {L"Base Prio.", A::kRight, kAutoColumnWidth,
         [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(static_cast<uint32_t>(r.basePriority))); },
         [](const Row& a, const Row& b) { return Order(static_cast<uint32_t>(a.basePriority), static_cast<uint32_t>(b.basePriority)); }},
        {L"Delta Prio.", A::kRight, kAutoColumnWidth, [](const Row& r) { return Printf(L"%ld", static_cast<long>(r.deltaPriority)); },
         [](const Row& a, const Row& b) { return Order(a.deltaPriority, b.deltaPriority); }},
        {L"Usage", A::kRight, kAutoColumnWidth, [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.usageCount)); },
         [](const Row& a, const Row& b) { return Order(a.usageCount, b.usageCount); }},
        {L"Current Proc.", A::kLeft, kAutoColumnWidth, [](const Row& r) { return r.currentProcess; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.currentProcess, b.currentProcess, kCellLimit); }},
        {L"Access Key", A::kLeft, kAutoColumnWidth, [](const Row& r) { return Printf(L"%08lX", static_cast<unsigned long>(r.accessKey)); },
         [](const Row& a, const Row& b) { return Order(a.accessKey, b.accessKey); }},
    }};
    return columns;
}

std::wstring CreationTimeText(const FileTime& creation)
{
    if (creation.Value() == 0) return L"0000/00/00 00:00:00.000";
    const std::optional<SystemTime> time = FileTimeToSystemTime(creation);
    if (!time) return Printf(L"Err#%lu", static_cast<unsigned long>(platform::GetLastError()));
    return Printf(L"%04u/%02u/%02u %02u:%02u:%02u.%03u", unsigned{time->year}, unsigned{time->month}, unsigned{time->day},
                  unsigned{time->hour}, unsigned{time->minute}, unsigned{time->second}, unsigned{time->milliseconds});
}

ThreadsModel::ThreadsModel(platform::Platform& platform, ListView& list, DetailControls& controls)
    : DetailListModel(platform, list, controls)
{
}

std::wstring ThreadsModel::CurrentProcessText(const platform::ThreadEntry& thread)
{
    const uint32_t current = thread.currentProcessId;
    auto [it, added] = fileNames_.try_emplace(current);
    if (added) {
        if (std::unique_ptr<platform::ProcessHandle> process = platform_.toolHelp().OpenProcess(current))
            if (const std::optional<std::wstring> path = process->ModuleFileName()) it->second = FileNameOf(*path);
    }
    const bool elsewhere = current != thread.ownerProcessId;
    if (!it->second.empty()) return elsewhere ? L"!" + it->second : it->second;
    return Printf(elsewhere ? L"!%08lX" : L"%08lX", static_cast<unsigned long>(current));
}

bool ThreadsModel::Refresh(RefreshMode mode)
{
    const auto pass = rows_.BeginRefresh(mode);
    if (!pass) return false;
    platform::ToolHelp& toolHelp = platform_.toolHelp();

    // Threads of every process: the owner decides which are listed.
    platform::SetLastError(platform::kErrorSuccess);
    std::optional<platform::Snapshot> snapshot = toolHelp.CreateSnapshot(platform::kSnapThread, 0);
    if (!snapshot) {
        ShowError(L"The thread list snapshot cannot be created.");
        return false;
    }
    if (snapshot->threads.empty()) {
        if (platform::GetLastError() == platform::kErrorSuccess) platform::Fail(ENOENT);
        ShowError(L"The first thread entry cannot be read.");
        toolHelp.CloseSnapshot(*snapshot);
        return false;
    }

    fileNames_.clear();
    {
        platform::AllProcessAccess access(toolHelp);
        for (const platform::ThreadEntry& thread : snapshot->threads) {
            if (thread.ownerProcessId != processId()) continue;
            platform::ThreadTimes times;
            if (!toolHelp.GetThreadTimes(thread.threadId, times)) times = {};  // a failed read shows zeros
            const std::wstring key = Printf(L"%08lX", static_cast<unsigned long>(thread.threadId));
            const std::wstring current = CurrentProcessText(thread);
            auto row = rows_.FindOrInsert(key, [&](ThreadRow& fresh) {
                fresh.key = key;
                fresh.creation = times.creation;
                fresh.basePriority = thread.basePriority;
                fresh.user = times.user;
                fresh.kernel = times.kernel;
                fresh.deltaPriority = thread.deltaPriority;
                fresh.usageCount = thread.usageCount;
                fresh.accessKey = thread.accessKey;
                fresh.currentProcess = current;
            });
            if (!row) continue;  // the list refused the row: the thread is skipped this time
            // Created and Base Prio. keep what the row was made with.
            row.Set(row->user, times.user, kColUserTime);
            row.Set(row->kernel, times.kernel, kColKernelTime);
            row.Set(row->deltaPriority, thread.deltaPriority, kColDeltaPriority);
            row.Set(row->usageCount, thread.usageCount, kColUsage);
            row.Set(row->currentProcess, current, kColCurrentProcess);
            row.Set(row->accessKey, thread.accessKey, kColThreadAccessKey);
            rows_.Commit(row);
        }
    }
    if (!toolHelp.CloseSnapshot(*snapshot)) {
        ShowError(L"The thread list snapshot cannot be closed.");
        return false;
    }
    FinishList(L"%ls - %u Thread%ls");
    return true;
}

}  // namespace kestrun
