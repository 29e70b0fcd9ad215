#include "dialogs/core/ModulesModel.h"

#include "display/core/Format.h"

namespace kestrun {

namespace {

using Row = ModuleRow;
using namespace platform;

constexpr size_t kCellLimit = 99;  // cells are compared as read into 100-character buffers

}  // namespace

const DetailDialogInfo ModulesModel::kInfo = {
    132, "IDD_MODULESDLG", L"#modules",
    L"This dialog shows the modules loaded by the selected process, the total size of all modules, the size of the "
    L"modules shared between processes and the size of the modules loaded into RAM.",
    50};

const ColumnTable<ModuleRow, kModuleColumnCount>& ModuleRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<ModuleRow, kModuleColumnCount> columns = {{
        {L"Name", A::kLeft, 80, [](const Row& r) { return r.name; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.name, b.name, kCellLimit); }},
        {L"Path", A::kLeft, 80, [](const Row& r) { return r.folder; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.folder, b.folder, kCellLimit); }},
        // Addresses of any width order by value (as texts of one width would).
        {L"Address", A::kLeft, 70, [](const Row& r) { return r.key; },
         [](const Row& a, const Row& b) { return Order(a.address, b.address); }},
        {L"Size", A::kRight, 60, [](const Row& r) { return Printf(L"%llu k", static_cast<unsigned long long>(r.size >> 10)); },
         [](const Row& a, const Row& b) { return Order(a.size >> 10, b.size >> 10); }},
        {L"Exec. Loc.", A::kLeft, kAutoColumnWidth, [](const Row& r) { return std::wstring(r.inRom ? L"ROM" : L"RAM"); },
         [](const Row& a, const Row& b) { return Order(a.inRom, b.inRom); }},  // "RAM" before "ROM"
        {L"Global Usage", A::kRight, kAutoColumnWidth,
         [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.globalUsage)); },
         [](const Row& a, const Row& b) { return Order(a.globalUsage, b.globalUsage); }},
        {L"Proc Usage", A::kRight, kAutoColumnWidth,
         [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.processUsage)); },
         [](const Row& a, const Row& b) { return Order(a.processUsage, b.processUsage); }},
    }};
    return columns;
}

ModulesModel::ModulesModel(platform::Platform& platform, ListView& list, DetailControls& controls, bool systemMode)
    : DetailListModel(platform, list, controls), systemMode_(systemMode)
{
    if (systemMode_) SetProcess(0, kSystemModulesName);
}

bool ModulesModel::IsRomModule(const std::wstring& path)
{
    const std::optional<FileInfo> info = platform_.shell().GetFileInfo(path);
    return info && (info->attributes & kFileRomModule) != 0;
}

bool ModulesModel::Refresh(RefreshMode mode)
{
    const auto pass = rows_.BeginRefresh(mode);
    if (!pass) return false;
    ToolHelp& toolHelp = platform_.toolHelp();

    // In page mode no process lists no module: the list empties without a snapshot.
    const bool listed = systemMode_ || processId() != 0;
    std::optional<Snapshot> snapshot;
    if (listed) {
        AllProcessAccess access(toolHelp);  // another process's modules need it
        snapshot = toolHelp.CreateSnapshot(kSnapModule, systemMode_ ? 0 : processId());
        if (!snapshot) {
            ShowError(L"The module list snapshot cannot be created.");
            return false;
        }
        // No first module leaves the list as it was, unless the process changed: a
        // process whose modules cannot be read (another user's) then lists none.
        if (snapshot->modules.empty() && mode == RefreshMode::kUpdate) {
            toolHelp.CloseSnapshot(*snapshot);
            return false;
        }
    }

    uint64_t total = 0;
    uint64_t shared = 0;
    uint64_t ram = 0;
    if (snapshot) {
        for (const ModuleEntry& module : snapshot->modules) {
            const std::wstring key = Printf(L"%08llX", static_cast<unsigned long long>(module.baseAddress));
            // Name, Path, Address, Size and Exec. Loc. stay as the row was made.
            auto row = rows_.FindOrInsert(key, [&](ModuleRow& fresh) {
                fresh.key = key;
                fresh.name = module.moduleName;
                fresh.folder = DirectoryOf(module.exePath);
                fresh.address = module.baseAddress;
                fresh.size = module.baseSize;
                fresh.moduleId = module.moduleId;
                fresh.inRom = IsRomModule(module.exePath);
                fresh.globalUsage = module.globalUsage;
                fresh.processUsage = module.processUsage;
            });
            total += module.baseSize;
            if (module.globalUsage > 1) shared += module.baseSize;
            if (!row) continue;  // the list refused the row; its size still counts in Total and Shared
            if (!row->inRom) ram += module.baseSize;
            row.Set(row->globalUsage, module.globalUsage, kColGlobalUsage);
            row.Set(row->processUsage, module.processUsage, kColProcessUsage);
            rows_.Commit(row);
        }
        if (!toolHelp.CloseSnapshot(*snapshot)) {
            ShowError(L"The module list snapshot cannot be closed.");
            return false;
        }
    }
    FinishList(L"%ls - %u Module%ls");
    controls_.SetValueText(kIdcModulesTotal, FormatSize(total));
    controls_.SetValueText(kIdcModulesShared, FormatSize(shared));
    controls_.SetValueText(kIdcModulesRam, FormatSize(ram));
    return true;
}

}  // namespace kestrun
