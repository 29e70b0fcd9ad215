#include "dialogs/core/ModuleUsageModel.h"

#include "display/core/Format.h"

#include <cerrno>

namespace kestrun {

namespace {

using Row = ModuleUsageRow;
using namespace platform;

constexpr size_t kCellLimit = 99;  // cells are compared as read into 100-character buffers

}  // namespace

const DetailDialogInfo ModuleUsageModel::kInfo = {143, "IDD_MODULEUSAGEDLG", L"#moduleusage",
                                                  L"This dialog shows the processes that loaded the specified module.", 50, true};

const ColumnTable<ModuleUsageRow, kModuleUsageColumnCount>& ModuleUsageRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<ModuleUsageRow, kModuleUsageColumnCount> columns = {{
        {L"Name", A::kLeft, 100, [](const Row& r) { return r.name; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.name, b.name, kCellLimit); }},
        {L"PID", A::kLeft, 70, [](const Row& r) { return Printf(L"%08lX", static_cast<unsigned long>(r.processId)); },
         [](const Row& a, const Row& b) { return Order(a.processId, b.processId); }},
        {L"Usage", A::kRight, kAutoColumnWidth, [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.usage)); },
         [](const Row& a, const Row& b) { return Order(a.usage, b.usage); }},
        {L"Path", A::kLeft, 120, [](const Row& r) { return r.folder; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.folder, b.folder, kCellLimit); }},
    }};
    return columns;
}

ModuleUsageModel::ModuleUsageModel(platform::Platform& platform, ListView& list, DetailControls& controls)
    : DetailListModel(platform, list, controls)
{
    SetProcess(0, std::wstring());
}

void ModuleUsageModel::SetModule(uint32_t moduleId, const std::wstring& name)
{
    moduleId_ = moduleId;
    SetProcess(0, name);  // the title names the module
}

uint32_t ModuleUsageModel::UsageIn(uint32_t processId)
{
    ToolHelp& toolHelp = platform_.toolHelp();
    std::optional<Snapshot> modules = toolHelp.CreateSnapshot(kSnapModule, processId);
    if (!modules) return 0;
    uint32_t usage = 0;
    for (const ModuleEntry& module : modules->modules) {
        if (module.moduleId != moduleId_) continue;
        usage = module.processUsage;
        break;
    }
    toolHelp.CloseSnapshot(*modules);
    return usage;
}

bool ModuleUsageModel::Refresh(RefreshMode)
{
    const auto pass = rows_.BeginRefresh(RefreshMode::kRebuild);
    if (!pass) return false;
    ToolHelp& toolHelp = platform_.toolHelp();
    SetLastError(kErrorSuccess);
    std::optional<Snapshot> snapshot = toolHelp.CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    if (!snapshot) {
        ShowError(L"The process list snapshot cannot be created.");
        return false;
    }
    if (snapshot->processes.empty()) {
        if (GetLastError() == kErrorSuccess) Fail(ENOENT);
        ShowError(L"The first process entry cannot be read.");
        toolHelp.CloseSnapshot(*snapshot);
        return false;
    }
    {
        AllProcessAccess access(toolHelp);
        for (const ProcessEntry& process : snapshot->processes) {
            const uint32_t usage = UsageIn(process.processId);
            if (usage == 0) continue;
            auto row = rows_.FindOrInsert(process.processId, [&](ModuleUsageRow& fresh) {
                fresh.processId = process.processId;
                fresh.usage = usage;
                fresh.name = process.exeFile;
                fresh.folder = GetProcessDirectory(toolHelp, process.processId);
            });
            if (row) rows_.Commit(row);
        }
    }
    toolHelp.CloseSnapshot(*snapshot);  // the rows are read: a failed close changes nothing shown
    rows_.FinishRefresh();
    const size_t rows = rows_.size();
    controls_.SetCaption(Printf(L"%ls - Used by %u Process%ls", processName().c_str(), static_cast<unsigned>(rows),
                                rows == 1 ? L"" : L"es"));
    return true;
}

}  // namespace kestrun
