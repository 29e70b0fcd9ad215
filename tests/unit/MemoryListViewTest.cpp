// The in-memory list: cells stay with their rows through inserts, deletes,
// sorts and new columns; a reused row starts empty; any text comes back as it went in.
#include "display/core/MemoryListView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

using Rows = std::vector<std::vector<std::wstring>>;

MemoryListView ThreeColumns()
{
    MemoryListView list;
    list.InsertColumn(0, L"A", ColumnAlign::kLeft, 10);
    list.InsertColumn(1, L"B", ColumnAlign::kLeft, 10);
    list.InsertColumn(2, L"C", ColumnAlign::kRight, 10);
    return list;
}

TEST(MemoryListView, CellsFollowTheirRowsThroughInsertsDeletesAndSorts)
{
    MemoryListView list = ThreeColumns();
    int keys[] = {3, 1, 2};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(list.InsertRow(i, L"r" + std::to_wstring(keys[i]), &keys[i], 0), i);
        list.SetCellText(i, 2, L"c" + std::to_wstring(keys[i]));
    }
    ASSERT_EQ(list.InsertRow(1, L"r9", nullptr, 0), 1);  // in the middle
    list.SetCellText(1, 1, L"b9");
    EXPECT_EQ(list.Cells(), (Rows{{L"r3", L"", L"c3"}, {L"r9", L"b9", L""}, {L"r1", L"", L"c1"}, {L"r2", L"", L"c2"}}));

    list.DeleteRow(1);
    list.Sort([](void* a, void* b) { return *static_cast<int*>(a) - *static_cast<int*>(b); });
    EXPECT_EQ(list.Cells(), (Rows{{L"r1", L"", L"c1"}, {L"r2", L"", L"c2"}, {L"r3", L"", L"c3"}}));
    EXPECT_EQ(*static_cast<int*>(list.RowData(0)), 1);
}

TEST(MemoryListView, ARowInsertedAfterADeleteStartsWithEmptyCells)
{
    MemoryListView list = ThreeColumns();
    list.InsertRow(0, L"old", nullptr, 0);
    list.SetCellText(0, 1, L"old b");
    list.SetCellText(0, 2, L"old c");
    list.DeleteRow(0);
    list.InsertRow(0, L"new", nullptr, 0);
    EXPECT_EQ(list.Cells(), (Rows{{L"new", L"", L""}}));
}

TEST(MemoryListView, AColumnInsertedBetweenOthersShiftsTheCellsAfterIt)
{
    MemoryListView list = ThreeColumns();
    list.InsertRow(0, L"a", nullptr, 0);
    list.SetCellText(0, 1, L"b");
    list.SetCellText(0, 2, L"c");
    list.InsertColumn(1, L"New", ColumnAlign::kLeft, 10);
    EXPECT_EQ(list.Cells(), (Rows{{L"a", L"", L"b", L"c"}}));
    EXPECT_EQ(list.columns()[1].title, L"New");
}

TEST(MemoryListView, ACellBeyondTheColumnsWidensEveryRow)
{
    MemoryListView list;  // no columns: a row has its one first cell
    list.InsertRow(0, L"a", nullptr, 0);
    list.InsertRow(1, L"b", nullptr, 0);
    list.SetCellText(1, 2, L"far");
    EXPECT_EQ(list.Cells(), (Rows{{L"a", L"", L""}, {L"b", L"", L"far"}}));
    EXPECT_EQ(list.CellText(0, 7), L"");
    EXPECT_EQ(list.CellText(5, 0), L"") << "no such row";
}

TEST(MemoryListView, KeepsAnyTextAsItWasWritten)
{
    MemoryListView list = ThreeColumns();
    list.InsertRow(0, L"", nullptr, 0);
    const std::wstring texts[] = {L"0.0%", L"Grüße \x4E2D\x6587", std::wstring(L"nul\0inside", 10), L"\x1F600",
                                  L"a path long enough to need a block of its own \\Windows\\x.exe", L"ascii again"};
    for (const std::wstring& text : texts) {
        list.SetCellText(0, 1, text);  // narrow and wide in turn in the same cell
        EXPECT_EQ(list.CellText(0, 1), text);
    }
    list.SetCellText(0, 2, L"\xFFFF\xD800");  // not characters, still kept
    EXPECT_EQ(list.CellText(0, 2), L"\xFFFF\xD800");
}

TEST(MemoryListView, CountsTheWritesARefreshMakes)
{
    MemoryListView list = ThreeColumns();
    list.InsertRow(0, L"a", nullptr, 0);
    list.SetCellText(0, 1, L"b");
    list.SetCellText(0, 1, L"b");
    list.DeleteAllRows();
    EXPECT_EQ(list.counters().inserts, 1u);
    EXPECT_EQ(list.counters().cellWrites, 3u) << "the insert's first cell and both writes, changed or not";
    EXPECT_EQ(list.counters().deletes, 1u);
    EXPECT_EQ(list.RowCount(), 0);
}

}  // namespace
}  // namespace kestrun
