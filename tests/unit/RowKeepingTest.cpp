// Row keeping over the in-memory list: rows kept across refreshes, only changed
// cells written, unseen rows dropped, the sort rules.
#include "display/core/MemoryListView.h"
#include "display/core/RowKeeper.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace kestrun {
namespace {

struct Item : RowRecord {
    int key = 0;
    int value = 0;
    int image = 0;
};

template <Placement kPlacement>
struct ItemTraitsWith {
    using Record = Item;
    using Key = int;
    static constexpr size_t kColumns = 2;
    static constexpr Placement kUnsortedPlacement = kPlacement;
    static int KeyOf(const Item& item) { return item.key; }
    static const ColumnTable<Item, kColumns>& Columns()
    {
        static const ColumnTable<Item, kColumns> columns = {{
            {L"Key", ColumnAlign::kLeft, 50, [](const Item& i) { return std::to_wstring(i.key); },
             [](const Item& a, const Item& b) { return Order(a.key, b.key); }},
            {L"Value", ColumnAlign::kRight, kAutoColumnWidth, [](const Item& i) { return std::to_wstring(i.value); },
             [](const Item& a, const Item& b) { return Order(a.value, b.value); }},
        }};
        return columns;
    }
};

using ItemTraits = ItemTraitsWith<Placement::kAppend>;

// A list that appends new rows even while sorted and sorts once at the end.
struct AppendSortedTraits : ItemTraitsWith<Placement::kAppend> {
    static constexpr Placement kSortedPlacement = Placement::kAppend;
};
using Keeper = RowKeeper<ItemTraits>;

// One refresh the way a page runs it: new rows filled, known rows with the
// columns whose value changed marked. Items are (key, value) or (key, value, image).
template <class K>
void RefreshItems(K& keeper, const std::vector<std::array<int, 3>>& items, RefreshMode mode = RefreshMode::kUpdate)
{
    const auto pass = keeper.BeginRefresh(mode);
    ASSERT_TRUE(pass);
    for (const auto& [key, value, image] : items) {
        auto row = keeper.FindOrInsert(key, [&](Item& fresh) {
            fresh.key = key;
            fresh.value = value;
            return image;
        });
        ASSERT_TRUE(row);
        row.Set(row->value, value, 1);
        keeper.Commit(row);
    }
    keeper.FinishRefresh();
}

void Refresh(Keeper& keeper, const std::map<int, int>& values)
{
    std::vector<std::array<int, 3>> items;
    for (const auto& [key, value] : values) items.push_back({key, value, 0});
    RefreshItems(keeper, items);
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

    // A row seen twice is still one row seen: the unseen one goes.
    RefreshItems(keeper, {{1, 10, 0}, {1, 10, 0}});
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
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"10", L"20", L"30"}));
    keeper.ClickHeader(1);
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"30", L"20", L"10"}));
}

TEST(RowKeeping, NewRowGoesToItsSortedPlaceBeforeRowsThatCompareEqual)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}});
    keeper.ClickHeader(1);
    list.ResetCounters();
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}, {9, 20}, {8, 99}, {7, 0}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"7", L"1", L"9", L"2", L"3", L"8"}));
    EXPECT_EQ(list.counters().sorts, 0u);  // placed, not sorted
}

TEST(RowKeeping, AppendedWhileSortedRowsSortOnceAndEqualRowsKeepTheirRefreshOrder)
{
    MemoryListView list;
    RowKeeper<AppendSortedTraits> keeper(list);
    RefreshItems(keeper, {{1, 10, 0}, {2, 20, 0}, {3, 30, 0}});
    keeper.ClickHeader(1);
    list.ResetCounters();

    // New rows equal to a known one come after it, and after each other in refresh order.
    RefreshItems(keeper, {{1, 10, 0}, {2, 20, 0}, {3, 30, 0}, {9, 20, 0}, {8, 99, 0}, {6, 20, 0}, {7, 0, 0}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"7", L"1", L"2", L"9", L"6", L"3", L"8"}));
    EXPECT_EQ(list.counters().sorts, 1u);
    for (int key : {1, 2, 3, 6, 7, 8, 9}) EXPECT_EQ(list.RowData(keeper.RowOf(*keeper.Find(key))), keeper.Find(key));

    // A rebuild lists every row anew: rows that compare equal follow the refresh.
    RefreshItems(keeper, {{5, 20, 0}, {4, 20, 0}, {3, 20, 0}}, RefreshMode::kRebuild);
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"5", L"4", L"3"}));

    // Nothing new and nothing out of order: no sort.
    list.ResetCounters();
    RefreshItems(keeper, {{5, 20, 0}, {4, 20, 0}, {3, 20, 0}});
    EXPECT_EQ(list.counters().sorts, 0u);
}

TEST(RowKeeping, KnownRowOutOfOrderAsksForOneSortAtTheEnd)
{
    MemoryListView list;
    Keeper keeper(list);
    Refresh(keeper, {{1, 10}, {2, 20}, {3, 30}, {4, 40}});
    keeper.ClickHeader(1);
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

TEST(RowKeeping, ColumnsComeFromTheTableAndTheSortShowsOnTheHeader)
{
    MemoryListView list;
    Keeper keeper(list);
    keeper.InsertColumns();
    ASSERT_EQ(list.columns().size(), 2u);
    EXPECT_EQ(list.columns()[1].title, L"Value");
    EXPECT_EQ(list.columns()[1].align, ColumnAlign::kRight);
    EXPECT_EQ(list.columns()[1].width, kAutoColumnWidth);
    EXPECT_EQ(Keeper::Titles(), (std::vector<std::wstring>{L"Key", L"Value"}));

    keeper.ClickHeader(1);
    EXPECT_EQ(list.sortIndicator().column, 1);
    EXPECT_EQ(list.sortIndicator().order, 1);
    keeper.ClickHeader(1);
    EXPECT_EQ(list.sortIndicator().order, -1);
}

TEST(RowKeeping, TopPlacementPutsNewRowsFirstOnlyWhileUnsorted)
{
    MemoryListView list;
    RowKeeper<ItemTraitsWith<Placement::kTop>> keeper(list);
    RefreshItems(keeper, {{1, 30, 0}, {2, 10, 0}});
    RefreshItems(keeper, {{1, 30, 0}, {2, 10, 0}, {3, 20, 0}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"3", L"2", L"1"}));

    keeper.ClickHeader(1);
    RefreshItems(keeper, {{1, 30, 0}, {2, 10, 0}, {3, 20, 0}, {4, 15, 0}});
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"10", L"15", L"20", L"30"}));
}

TEST(RowKeeping, ARemovedRowTakesItsImageAndLaterImagesMoveDown)
{
    MemoryListView list;
    Keeper keeper(list);
    for (int i = 0; i < 6; ++i) list.AddImage(platform::Image{i, 1, {}});  // image i is i wide
    RefreshItems(keeper, {{1, 0, 0}, {2, 0, 3}, {3, 0, 4}, {4, 0, 5}});
    RefreshItems(keeper, {{1, 0, 0}, {3, 0, 4}, {4, 0, 5}});
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"1", L"3", L"4"}));
    EXPECT_EQ(list.RowImage(0), 0);
    EXPECT_EQ(list.RowImage(1), 3);
    EXPECT_EQ(list.RowImage(2), 4);
    ASSERT_EQ(list.ImageCount(), 5);
    EXPECT_EQ(list.images()[3].width, 4) << "image 3 went; 4 and 5 moved down";
    EXPECT_EQ(list.images()[4].width, 5);

    // A row with the default image removes no image; several images go in one sweep.
    RefreshItems(keeper, {{3, 0, 3}});
    EXPECT_EQ(list.ImageCount(), 4);
    EXPECT_EQ(list.RowImage(0), 3);
    RefreshItems(keeper, {{5, 0, 0}});
    EXPECT_EQ(list.ImageCount(), 3);
    EXPECT_EQ(list.images()[2].width, 2);
}

TEST(RowKeeping, ManyRemovedImagesLeaveEveryRowItsOwnPicture)
{
    MemoryListView list;
    Keeper keeper(list);
    list.AddImage(platform::Image{0, 1, {}});
    std::vector<std::array<int, 3>> all;
    for (int key = 1; key <= 40; ++key) {
        all.push_back({key, 0, list.AddImage(platform::Image{key, 1, {}})});
    }
    RefreshItems(keeper, all);
    std::vector<std::array<int, 3>> odd;
    for (const auto& item : all)
        if (item[0] % 2 == 1) odd.push_back(item);
    RefreshItems(keeper, odd);
    ASSERT_EQ(list.RowCount(), 20);
    ASSERT_EQ(list.ImageCount(), 21);
    for (int row = 0; row < list.RowCount(); ++row) {
        const int key = std::stoi(list.CellText(row, 0));
        EXPECT_EQ(list.images()[static_cast<size_t>(list.RowImage(row))].width, key) << "row of key " << key;
    }
}

TEST(RowKeeping, RebuildMakesEveryRowNewInRefreshOrder)
{
    MemoryListView list;
    Keeper keeper(list);
    RefreshItems(keeper, {{1, 10, 0}, {2, 20, 0}, {3, 30, 0}});
    const Item* before = keeper.Find(2);
    RefreshItems(keeper, {{3, 31, 0}, {2, 20, 0}}, RefreshMode::kRebuild);
    EXPECT_EQ(Column(list, 0), (std::vector<std::wstring>{L"3", L"2"}));
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"31", L"20"}));
    EXPECT_EQ(keeper.size(), 2u);
    EXPECT_EQ(keeper.Find(1), nullptr);
    ASSERT_NE(keeper.Find(2), nullptr);
    EXPECT_EQ(keeper.RowOf(*keeper.Find(2)), 1);
    (void)before;  // its record may be reused; the row is what counts

    // An update after a rebuild finds the new rows.
    list.ResetCounters();
    RefreshItems(keeper, {{3, 31, 0}, {2, 20, 0}});
    EXPECT_EQ(list.counters().inserts, 0u);
    EXPECT_EQ(list.counters().cellWrites, 0u);
}

TEST(RowKeeping, RebuildKeepsTwoRowsOfOneKeyAndUpdatesFindTheFirst)
{
    MemoryListView list;
    Keeper keeper(list);
    RefreshItems(keeper, {{7, 1, 0}, {7, 2, 0}}, RefreshMode::kRebuild);
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"1", L"2"}));
    EXPECT_EQ(keeper.RowOf(*keeper.Find(7)), 0);

    // Update mode: both entries land on the first row; the second row is unseen and goes.
    RefreshItems(keeper, {{7, 5, 0}, {7, 6, 0}});
    EXPECT_EQ(Column(list, 1), (std::vector<std::wstring>{L"6"}));
    EXPECT_EQ(keeper.size(), 1u);
}

TEST(RowKeeping, ARefreshStartedDuringAnotherIsRefused)
{
    MemoryListView list;
    Keeper keeper(list);
    {
        const auto outer = keeper.BeginRefresh();
        ASSERT_TRUE(outer);
        const uint32_t generation = keeper.generation();
        const auto inner = keeper.BeginRefresh();
        EXPECT_FALSE(inner);
        EXPECT_EQ(keeper.generation(), generation);
    }
    EXPECT_FALSE(keeper.refreshing());
    const auto next = keeper.BeginRefresh();
    EXPECT_TRUE(next);
}

TEST(RowKeeping, SetMarksAColumnOnlyWhenTheValueChanged)
{
    Item item;
    item.value = 4;
    RowChange<Item, 2> change(&item, false);
    EXPECT_FALSE(change.Set(item.value, 4, 1));
    EXPECT_FALSE(change.marks().any());
    EXPECT_TRUE(change.Set(item.value, 5, 1));
    EXPECT_EQ(item.value, 5);
    EXPECT_TRUE(change.Marked(1));
    EXPECT_FALSE(change.Marked(0));
    EXPECT_TRUE((RowChange<Item, 2>(&item, true).marks().all())) << "a new row writes every cell";
}

}  // namespace
}  // namespace kestrun
