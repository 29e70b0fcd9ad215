// Row keeping over the in-memory list: rows kept across refreshes, only changed
// cells written, unseen rows dropped, the sort rules.
#include "display/core/MemoryListView.h"
#include "display/core/RowKeeper.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kestrun {
namespace {

struct Item : RowRecord {
    int key = 0;
    int value = 0;
};

struct ItemTraits {
    using Record = Item;
    using Key = int;
    static constexpr size_t kColumns = 2;
    static int KeyOf(const Item& item) { return item.key; }
    static int Compare(const Item& a, const Item& b, int column)
    {
        const int x = column == 0 ? a.key : a.value;
        const int y = column == 0 ? b.key : b.value;
        return x < y ? -1 : (x > y ? 1 : 0);
    }
};

using Keeper = RowKeeper<ItemTraits>;

// One refresh the way a page runs it: new rows inserted with every column
// marked, known rows with the columns whose value changed.
void Refresh(Keeper& keeper, const std::map<int, int>& values)
{
    keeper.BeginRefresh();
    for (const auto& [key, value] : values) {
        Keeper::Marks marks;
        Item* item = keeper.Find(key);
        if (item == nullptr) {
            Item fresh;
            fresh.key = key;
            fresh.value = value;
            item = keeper.Insert(std::move(fresh), std::to_wstring(key));
            ASSERT_NE(item, nullptr);
            marks.set();
        } else if (item->value != value) {
            item->value = value;
            marks.set(1);
            keeper.CheckPlace(*item);
        }
        keeper.WriteMarked(*item, marks, [&](int column, Keeper::Marks&) {
            return std::to_wstring(column == 0 ? item->key : item->value);
        });
        keeper.Touch(*item);
    }
    keeper.Sweep();
    keeper.EndRefresh();
}

std::vector<std::wstring> Column(const MemoryListView& list, int column)
{
    std::vector<std::wstring> texts;
    for (int row = 0; row < list.RowCount(); ++row) texts.push_back(list.CellText(row, column));
    return texts;
}

TEST(RowKeeping, WritesOnlyTheCellsWhoseValueChanged)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}});
    EXPECT_EQ(list.counters().inserts, 3u);

    list.ResetCounters();
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}});
    EXPECT_EQ(list.counters().cellWrites, 0u);
    EXPECT_EQ(list.counters().inserts, 0u);

    Refresh(keeper, {{1, 10}, {2, 21}, {3, 30}});
    EXPECT_EQ(list.counters().cellWrites, 1u);
    EXPECT_EQ(list.CellText(1, 1), L"21");
}

TEST(RowKeeping, DropsRowsUnseenForOneGeneration)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}, {4, 40}});
    Refresh(keeper, {{1, 10}, {3, 30}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"1", L"3"}));
    EXPECT_EQ(keeper.Find(2), nullptr);
    EXPECT_EQ(keeper.Find(4), nullptr);
    EXPECT_EQ(keeper.size(), 2u);
    // The rows that stay still know where they are.
    EXPECT_EQ(keeper.RowOf(*keeper.Find(3)), 1);
}

TEST(RowKeeping, DropsAnUnseenRowWhenANewOneKeepsTheCountTheSame)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}});
    Refresh(keeper, {{1, 10}, {3, 30}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"1", L"3"}));

    // A row touched twice is still one row seen: the unseen one goes.
    keeper.BeginRefresh();
    Item* one = keeper.Find(1);
    keeper.Touch(*one);
    keeper.Touch(*one);
    keeper.Sweep();
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"1"}));
    EXPECT_EQ(keeper.Find(3), nullptr);
}

TEST(RowKeeping, UnsortedListAppendsNewRowsAndNeverMovesRows)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{5, 50}, {7, 10}});
    Refresh(keeper, {{1, 99}, {5, 0}, {7, 10}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"5", L"7", L"1"}));
    EXPECT_EQ(list.counters().sorts, 0u);
}

TEST(RowKeeping, HeaderClicksToggleTheSortColumnAndSelectAnotherAscending)
{
    struct Case {
        std::vector<int> clicks;
        int order;
        int column;
    };
    const Case cases[] = {
        {{1}, 1, 1},
        {{1, 1}, -1, 1},
        {{1, 1, 1}, 1, 1},
        {{1, 1, 0}, 1, 0},
        {{0}, 1, 0},  // the initial sort column, order 0 becomes ascending
        {{0, 0}, -1, 0},
    };
    for (const Case& c : cases) {
        MemoryListView list;
        Keeper keeper(list);
        for (int column : c.clicks) keeper.ClickHeader(column);
        EXPECT_EQ(keeper.sortOrder(), c.order);
        EXPECT_EQ(keeper.sortColumn(), c.column);
    }
}

TEST(RowKeeping, SortsDescendingBySwappingOperands)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 20}, {2, 10}, {3, 30}});
    keeper.ClickHeader(1);
    keeper.Sort();
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"10", L"20", L"30"}));
    keeper.ClickHeader(1);
    keeper.Sort();
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"30", L"20", L"10"}));
}

TEST(RowKeeping, NewRowGoesToItsSortedPlaceBeforeRowsThatCompareEqual)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}});
    keeper.ClickHeader(1);
    keeper.Sort();
    list.ResetCounters();
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}, {9, 20}, {8, 99}, {7, 0}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"7", L"1", L"9", L"2", L"3", L"8"}));
    EXPECT_EQ(list.counters().sorts, 0u);  // placed, not sorted
}

TEST(RowKeeping, KnownRowOutOfOrderAsksForOneSortAtTheEnd)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}, {4, 40}});
    keeper.ClickHeader(1);
    keeper.Sort();
    list.ResetCounters();

    Refresh(keeper, {{1, 10}, {2, 25}, {3, 30}, {4, 40}});  // still between its neighbours
    EXPECT_EQ(list.counters().sorts, 0u);

    Refresh(keeper, {{1, 50}, {2, 25}, {3, 5}, {4, 40}});
    EXPECT_EQ(list.counters().sorts, 1u);
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"3", L"2", L"4", L"1"}));
    for (int key : {1, 2, 3, 4}) {
        const int row = keeper.RowOf(*keeper.Find(key));
        EXPECT_EQ(list.RowData(row), keeper.Find(key));
    }
}

TEST(RowKeeping, RowIndexesFollowInsertsAndRemovalsAnywhere)
{
    MemoryListView list;
    Keeper keeper(list);
    keeper.ClickHeader(0);
    Refresh(keeper, {{10, 0}, {20, 0}, {30, 0}, {40, 0}});
    Refresh(keeper, {{5, 0}, {20, 0}, {25, 0}, {40, 0}, {45, 0}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"5", L"20", L"25", L"40", L"45"}));
    for (int row = 0; row < list.RowCount(); ++row) {
        const auto* item = static_cast<const Item*>(list.RowData(row));
        EXPECT_EQ(keeper.RowOf(*item), row);
        EXPECT_EQ(keeper.RecordAt(row), item);
    }
}

TEST(RowKeeping, SelectingARowTakesTheFocusFromThePreviousSelection)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 0}, {2, 0}, {3, 0}});
    list.SetSelected(0, true);
    list.SetFocused(0, true);
    keeper.Select(*keeper.Find(3));
    EXPECT_EQ(list.SelectedRow(), 2);
    EXPECT_EQ(list.FocusedRow(), -1);
    EXPECT_EQ(list.lastVisible(), 2);
    EXPECT_EQ(keeper.Selected(), keeper.Find(3));
}

TEST(RowKeeping, ClearEmptiesTheListAndForgetsEveryRecord)
{
    MemoryListView list;
    {
        Keeper keeper(list);
        Refresh(keeper, {{1, 0}, {2, 0}});
        keeper.Clear();
        EXPECT_EQ(list.RowCount(), 0);
        EXPECT_EQ(keeper.Find(1), nullptr);
        Refresh(keeper, {{3, 0}});
    }
    EXPECT_EQ(list.RowCount(), 0);  // the keeper's end empties the list too
}

}  // namespace
}  // namespace kestrun
