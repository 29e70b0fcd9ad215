// The Module usage dialog without its window: every process that has one
// module loaded, with how often it uses it and the folder of its executable,
// listed anew at each refresh in the order of the process list.
#pragma once

#include "dialogs/core/DetailModel.h"
#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"

#include <cstdint>
#include <string>

namespace kestrun {

struct ModuleUsageRow : RowRecord {
    uint32_t processId = 0;
    uint32_t usage = 0;
    std::wstring name;  // the first cell
    std::wstring folder;
};

enum ModuleUsageColumn : int { kColUsageName, kColUsagePid, kColUsageCount, kColUsagePath, kModuleUsageColumnCount };

struct ModuleUsageRowTraits {
    using Record = ModuleUsageRow;
    using Key = uint32_t;
    static constexpr size_t kColumns = kModuleUsageColumnCount;
    static constexpr Placement kSortedPlacement = Placement::kAppend;
    static constexpr int kInitialSortColumn = kColUsagePid;  // the first click on PID sorts ascending
    static Key KeyOf(const ModuleUsageRow& row) { return row.processId; }
    static const ColumnTable<ModuleUsageRow, kColumns>& Columns();
};

class ModuleUsageModel final : public DetailListModel<ModuleUsageRowTraits> {
public:
    static const DetailDialogInfo kInfo;

    ModuleUsageModel(platform::Platform& platform, ListView& list, DetailControls& controls);

    // The module whose users are listed: its id and the name the title shows.
    void SetModule(uint32_t moduleId, const std::wstring& name);
    [[nodiscard]] uint32_t moduleId() const { return moduleId_; }

    // Lists every process anew, whatever the mode: F5 never lists one twice.
    bool Refresh(RefreshMode mode) override;

private:
    // The process's usage count of the module; 0 when it has not loaded it, or
    // when its modules cannot be read.
    uint32_t UsageIn(uint32_t processId);

    uint32_t moduleId_ = 0;
};

}  // namespace kestrun
