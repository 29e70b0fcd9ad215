// The Modules dialog without its window: the modules one process has loaded
// (page mode) or every module of every process (system mode), kept across
// refreshes by their load address's text, with the Total, Shared and RAM sums.
#pragma once

#include "dialogs/core/DetailModel.h"
#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"

#include <cstdint>
#include <string>

namespace kestrun {

struct ModuleRow : RowRecord {
    std::wstring key;  // the load address, eight or more hexadecimal digits
    std::wstring name;    // the first cell
    std::wstring folder;  // of the module's file
    uint64_t address = 0;
    uint64_t size = 0;  // bytes
    bool inRom = false;  // the file is a ROM module: it runs where it lies
    uint32_t moduleId = 0;
    uint32_t globalUsage = 0;
    uint32_t processUsage = 0;
};

enum ModuleColumn : int {
    kColModuleName,
    kColModulePath,
    kColModuleAddress,
    kColModuleSize,
    kColExecLocation,
    kColGlobalUsage,
    kColProcessUsage,
    kModuleColumnCount
};

struct ModuleRowTraits {
    using Record = ModuleRow;
    using Key = std::wstring;
    static constexpr size_t kColumns = kModuleColumnCount;
    static constexpr Placement kSortedPlacement = Placement::kAppend;
    static const Key& KeyOf(const ModuleRow& row) { return row.key; }
    static const ColumnTable<ModuleRow, kColumns>& Columns();
};

// The value boxes of the sums.
inline constexpr int kIdcModulesTotal = 1013;
inline constexpr int kIdcModulesShared = 1071;
inline constexpr int kIdcModulesRam = 1014;

// The name the system mode shows.
inline constexpr wchar_t kSystemModulesName[] = L"System";

class ModulesModel final : public DetailListModel<ModuleRowTraits> {
public:
    static const DetailDialogInfo kInfo;

    // systemMode: every module of every process, whatever the process id.
    ModulesModel(platform::Platform& platform, ListView& list, DetailControls& controls, bool systemMode);

    bool Refresh(RefreshMode mode) override;

    [[nodiscard]] bool systemMode() const { return systemMode_; }
    [[nodiscard]] const ModuleRow* Selected() const { return rows_.Selected(); }

private:
    // Whether the module's file is a ROM module, from its attributes; a file
    // whose attributes cannot be read counts as loaded into RAM.
    bool IsRomModule(const std::wstring& path);

    bool systemMode_;
};

}  // namespace kestrun
