#include "dialogs/core/HeapModel.h"

#include "display/core/Format.h"

#include <array>

namespace kestrun {

namespace {

using Row = HeapRow;
using namespace platform;

constexpr size_t kCellLimit = 99;  // cells are compared as read into 100-character buffers

struct FlagWord {
    uint32_t bit;
    const wchar_t* word;
};
constexpr std::array<FlagWord, 5> kFlagWords = {{
    {kHeapMoveable, L"Moveable "},
    {kHeapBig, L"Big "},
    {kHeapDecommit, L"Decommit "},
    {kHeapFixed, L"Fixed "},
    {kHeapFree, L"Free "},
}};

}  // namespace

const DetailDialogInfo HeapModel::kInfo = {134, "IDD_HEAPDLG", L"#memory",
                                           L"This dialog shows the heap entries allocated by the selected process.", 70};

const ColumnTable<HeapRow, kHeapColumnCount>& HeapRowTraits::Columns()
{
    using A = ColumnAlign;
    static const ColumnTable<HeapRow, kHeapColumnCount> columns = {{
        {L"Address", A::kLeft, 70, [](const Row& r) { return r.key; },
         [](const Row& a, const Row& b) { return Order(a.address, b.address); }},
        {L"Size", A::kRight, 60, [](const Row& r) { return Printf(L"%llu", static_cast<unsigned long long>(r.size)); },
         [](const Row& a, const Row& b) { return Order(a.size, b.size); }},
        {L"Flags", A::kLeft, 50, [](const Row& r) { return HeapFlagsText(r.flags); },
         [](const Row& a, const Row& b) { return CompareNoCase(HeapFlagsText(a.flags), HeapFlagsText(b.flags), kCellLimit); }},
        {L"Lock Count", A::kRight, 80, [](const Row& r) { return Printf(L"%lu", static_cast<unsigned long>(r.lockCount)); },
         [](const Row& a, const Row& b) { return Order(a.lockCount, b.lockCount); }},
    }};
    return columns;
}

std::wstring HeapFlagsText(uint32_t flags)
{
    std::wstring text;
    for (const FlagWord& flag : kFlagWords)
        if ((flags & flag.bit) != 0) text += flag.word;
    return text;
}

HeapModel::HeapModel(platform::Platform& platform, ListView& list, DetailControls& controls)
    : DetailListModel(platform, list, controls)
{
}

bool HeapModel::Refresh(RefreshMode mode)
{
    const auto pass = rows_.BeginRefresh(mode);
    if (!pass) return false;
    ToolHelp& toolHelp = platform_.toolHelp();
    const uint32_t self = platform_.kernel().GetCurrentProcessId();
    // No process shows the program's own heap list, which is never walked.
    const uint32_t target = processId() != 0 ? processId() : self;

    AllProcessAccess access(toolHelp);  // another process's heaps are walked with all-process access
    std::optional<Snapshot> snapshot = toolHelp.CreateSnapshot(kSnapHeapList, target);
    if (!snapshot) {
        ShowError(L"The heap list snapshot cannot be created.");
        return false;
    }

    uint64_t total = 0;
    uint64_t free = 0;
    controls_.SuspendListRedraw(true);
    // A rebuild makes a row for every entry the page counted, beside the old rows until the sweep.
    if (mode == RefreshMode::kRebuild) rows_.Reserve(rows_.size() + expectedEntries_);
    if (target != self) {
        for (const HeapListEntry& list : snapshot->heapLists) {
            const std::optional<std::vector<HeapEntry>> entries = toolHelp.HeapEntries(target, list.heapId);
            if (!entries) continue;  // a heap whose first entry cannot be read contributes nothing
            for (const HeapEntry& entry : *entries) {
                total += entry.blockSize;
                const std::wstring key = Printf(L"%08llX", static_cast<unsigned long long>(entry.address));
                auto row = rows_.FindOrInsert(key, [&](HeapRow& fresh) {
                    fresh.key = key;
                    fresh.address = entry.address;
                    fresh.size = entry.blockSize;
                    fresh.flags = entry.flags;
                    fresh.lockCount = entry.lockCount;
                });
                if (!row) continue;  // the list refused the row; its size still counts in Total
                if ((entry.flags & kHeapFree) != 0) free += entry.blockSize;
                row.Set(row->size, entry.blockSize, kColSize);
                row.Set(row->flags, entry.flags, kColFlags);
                row.Set(row->lockCount, entry.lockCount, kColLockCount);
                rows_.Commit(row);
            }
        }
    }
    controls_.SuspendListRedraw(false);
    if (!toolHelp.CloseSnapshot(*snapshot)) {
        ShowError(L"The heap list snapshot cannot be closed.");
        return false;
    }
    FinishList(L"%ls - %u Memory Block%ls");
    controls_.SetValueText(kIdcTotalSize, FormatSize(total));
    controls_.SetValueText(kIdcFreeSize, FormatSize(free));
    return true;
}

}  // namespace kestrun
