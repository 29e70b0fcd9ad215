// The Heap dialog without its window: the heap entries of one process with
// their sizes, flags and lock counts, and the total and free sizes.
#pragma once

#include "dialogs/core/DetailModel.h"
#include "display/core/ListColumn.h"
#include "display/core/RowKeeper.h"

#include <cstdint>
#include <string>

namespace kestrun {

struct HeapRow : RowRecord {
    std::wstring key;  // the address, eight or more hexadecimal digits: the first cell
    uint64_t address = 0;
    uint64_t size = 0;  // bytes
    uint32_t flags = 0;  // platform::HeapEntryFlags
    uint32_t lockCount = 0;
};

enum HeapColumn : int { kColAddress, kColSize, kColFlags, kColLockCount, kHeapColumnCount };

struct HeapRowTraits {
    using Record = HeapRow;
    using Key = std::wstring;
    static constexpr size_t kColumns = kHeapColumnCount;
    static constexpr Placement kSortedPlacement = Placement::kAppend;
    static const Key& KeyOf(const HeapRow& row) { return row.key; }
    static const ColumnTable<HeapRow, kColumns>& Columns();
};

// The value boxes of the totals.
inline constexpr int kIdcTotalSize = 1013;
inline constexpr int kIdcFreeSize = 1014;

// The Flags text: "Moveable ", "Big ", "Decommit ", "Fixed ", "Free " in this
// order for the bits set, each word with its trailing blank.
std::wstring HeapFlagsText(uint32_t flags);

class HeapModel final : public DetailListModel<HeapRowTraits> {
public:
    static const DetailDialogInfo kInfo;

    HeapModel(platform::Platform& platform, ListView& list, DetailControls& controls);

    // The page's Mem. Blocks figure for the process: a hint of how many rows a rebuild makes.
    void SetExpectedEntries(uint32_t count) { expectedEntries_ = count; }
    [[nodiscard]] uint32_t expectedEntries() const { return expectedEntries_; }

    bool Refresh(RefreshMode mode) override;

private:
    uint32_t expectedEntries_ = 0;
};

}  // namespace kestrun
