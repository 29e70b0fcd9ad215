// Row keeping: a list whose rows live across refreshes instead of being rebuilt.
//
// Each row owns one record (the list row's item data). A refresh stamps every
// record it sees with the current generation; rows of older generations are
// removed afterwards, from the last row to the first. Per-column change marks
// make a refresh rewrite only the cells whose value changed. The sort order is
// 0 (unsorted: rows never move, new rows go to the end or, for some lists, to
// the top), 1 (ascending) or -1 (descending) on one sort column; a new row goes
// straight to its sorted place, and a known row whose new values move it out of
// order asks for one full sort at the end of the refresh.
//
// Rows are found by key through a hash map, and each record caches its row
// index, so a refresh is linear in the number of rows.
//
// A refresh reads:
//
//   RowKeeper<T>::Pass pass = rows.BeginRefresh();
//   if (!pass) return false;                       // another refresh is running
//   for (each item) {
//       auto row = rows.FindOrInsert(key, [&](Record& fresh) { ...fill... });
//       if (!row) continue;                        // the list refused a new row
//       row.Set(row->field, value, kColumnOfField);
//       rows.Commit(row);                          // place check, changed cells, seen
//   }
//   rows.FinishRefresh();                          // sweep, then at most one sort
//
// Traits describe one kind of list:
//   using Record = ...;            // derives from RowRecord
//   using Key = ...;               // hashable
//   static constexpr size_t kColumns;
//   static Key KeyOf(const Record&);
//   static const ColumnTable<Record, kColumns>& Columns();
//   static constexpr Placement kUnsortedPlacement;  // optional, kAppend when absent
//   static constexpr int kInitialSortColumn;        // optional, 0 when absent: the column
//                                                   // a first header click on it sorts ascending
//   static constexpr Placement kSortedPlacement;    // optional, kSorted when absent
#pragma once

#include "display/core/ListColumn.h"
#include "display/core/ListView.h"
#include "display/core/RecordPool.h"

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrun {

// Where a new row goes: while unsorted, the end or the top; while sorted, its
// sorted place, or the end with one sort when the refresh finishes (so rows
// that compare equal stay in the order the refresh listed them).
enum class Placement { kAppend, kTop, kSorted };

// Update keeps the rows whose key is found; rebuild makes every row new and
// sweeps the older ones, so the list is replaced in the order of the refresh.
enum class RefreshMode { kUpdate, kRebuild };

// The part of a row record that row keeping itself uses.
struct RowRecord {
private:
    template <class>
    friend class RowKeeper;
    uint32_t generation_ = 0;  // the refresh that last saw this row
    int image_ = 0;            // the row's small-icon image, 0 the list's default
    size_t row_ = 0;           // the row's index, trusted only below RowKeeper's validBelow_
};

// One row in a refresh: its record, whether the refresh created it, and the
// columns whose cells must be written.
template <class Record, size_t kColumns>
class RowChange {
public:
    using Marks = std::bitset<kColumns>;

    RowChange() = default;
    RowChange(Record* record, bool isNew) : record_(record), isNew_(isNew)
    {
        if (isNew) marks_.set();
    }

    explicit operator bool() const { return record_ != nullptr; }
    Record* operator->() const { return record_; }
    Record& operator*() const { return *record_; }
    [[nodiscard]] Record* get() const { return record_; }
    [[nodiscard]] bool isNew() const { return isNew_; }

    // Assigns value to field and marks column, only when the value differs.
    template <class T, class V>
    bool Set(T& field, const V& value, int column)
    {
        if (field == value) return false;
        field = value;
        marks_.set(static_cast<size_t>(column));
        return true;
    }
    void Mark(int column) { marks_.set(static_cast<size_t>(column)); }
    [[nodiscard]] bool Marked(int column) const { return marks_.test(static_cast<size_t>(column)); }
    [[nodiscard]] const Marks& marks() const { return marks_; }

private:
    Record* record_ = nullptr;
    bool isNew_ = false;
    Marks marks_;
};

template <class Traits>
class RowKeeper {
public:
    using Record = typename Traits::Record;
    using Key = typename Traits::Key;
    static constexpr size_t kColumns = Traits::kColumns;
    using Change = RowChange<Record, kColumns>;
    using Marks = typename Change::Marks;

    explicit RowKeeper(ListView& list) : list_(list) {}
    ~RowKeeper() { Clear(); }
    RowKeeper(const RowKeeper&) = delete;
    RowKeeper& operator=(const RowKeeper&) = delete;

    // Creates the list's columns from the column table.
    void InsertColumns()
    {
        const auto& columns = Traits::Columns();
        for (size_t i = 0; i < kColumns; ++i)
            list_.InsertColumn(static_cast<int>(i), columns[i].title, columns[i].align, columns[i].width);
    }

    // One refresh in progress. False when another refresh of this list is still
    // running (a refresh that shows a box runs the event loop, and ticks meanwhile
    // must skip the list); the refresh ends when the pass goes.
    class [[nodiscard]] Pass {
    public:
        Pass(Pass&& other) noexcept : keeper_(std::exchange(other.keeper_, nullptr)) {}
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        Pass& operator=(Pass&&) = delete;
        ~Pass()
        {
            if (keeper_ != nullptr) keeper_->refreshing_ = false;
        }
        explicit operator bool() const { return keeper_ != nullptr; }

    private:
        friend class RowKeeper;
        explicit Pass(RowKeeper* keeper) : keeper_(keeper) {}
        RowKeeper* keeper_;
    };

    // Starts a refresh: a new generation, order not yet known to be broken.
    Pass BeginRefresh(RefreshMode mode = RefreshMode::kUpdate)
    {
        if (refreshing_) return Pass(nullptr);
        refreshing_ = true;
        ++generation_;
        seen_ = 0;
        orderChanged_ = false;
        mode_ = mode;
        return Pass(this);
    }
    [[nodiscard]] bool refreshing() const { return refreshing_; }
    [[nodiscard]] uint32_t generation() const { return generation_; }
    [[nodiscard]] static uint32_t GenerationOf(const Record& record) { return record.generation_; }

    // The row of key, or a new row whose record fill(Record&) completes (fill may
    // return the row's image index). In rebuild mode every row is new. The change
    // is empty when the list refused a new row.
    template <class Fill>
    Change FindOrInsert(const Key& key, Fill&& fill)
    {
        if (mode_ == RefreshMode::kUpdate) {
            if (Record* known = Find(key)) return Change(known, false);
        }
        Record record;
        int image = 0;
        if constexpr (std::is_void_v<std::invoke_result_t<Fill&, Record&>>)
            fill(record);
        else
            image = fill(record);
        return Change(Insert(std::move(record), image), true);
    }

    // A refresh usually asks for rows in the order they are listed (always when
    // unsorted): the row after the last one found is tried before the index.
    // Of two rows with one key (a rebuild can list both), the indexed one is found.
    [[nodiscard]] Record* Find(const Key& key) const
    {
        const size_t next = lastFound_ + 1;
        if (unindexed_ == 0 && next < rows_.size() && Traits::KeyOf(*rows_[next]) == key) {
            lastFound_ = next;
            return rows_[next];
        }
        const auto it = byKey_.find(key);
        if (it == byKey_.end()) return nullptr;
        if (it->second->row_ < rows_.size() && rows_[it->second->row_] == it->second) lastFound_ = it->second->row_;
        return it->second;
    }

    // Ends one row of the refresh: the place check when the sort column changed,
    // the marked cells written (a new row's first cell came with its insert), and
    // the row seen by this refresh.
    void Commit(Change& change)
    {
        Record& record = *change;
        if (!change.isNew() && sortOrder_ != 0 && change.Marked(sortColumn_)) CheckPlace(record);
        const Marks& marks = change.marks();
        if (marks.any()) {
            const int row = RowOf(record);
            if (row >= 0) {
                const auto& columns = Traits::Columns();
                for (size_t column = change.isNew() ? 1 : 0; column < kColumns; ++column)
                    if (marks.test(column)) list_.SetCellText(row, static_cast<int>(column), columns[column].text(record));
            }
        }
        Touch(record);
    }

    // Removes the rows this refresh did not see, then sorts once when a known
    // row moved out of order.
    void FinishRefresh()
    {
        Sweep();
        if (orderChanged_ && sortOrder_ != 0) Sort();
    }

    // A header click: the sort column toggles between ascending and descending,
    // another column becomes the sort column, ascending. Then the rows are sorted.
    void ClickHeader(int column)
    {
        if (column == sortColumn_) {
            sortOrder_ = sortOrder_ == 1 ? -1 : 1;
        } else {
            sortColumn_ = column;
            sortOrder_ = 1;
        }
        Sort();
    }

    void Sort()
    {
        list_.Sort([this](void* a, void* b) { return Compare(*static_cast<const Record*>(a), *static_cast<const Record*>(b)); });
        for (size_t i = 0; i < rows_.size(); ++i) rows_[i] = static_cast<Record*>(list_.RowData(static_cast<int>(i)));
        Renumber(0);
        list_.ShowSortIndicator(sortColumn_, sortOrder_);
    }

    // Sorts when a sort order is set.
    void SortIfOrdered()
    {
        if (sortOrder_ != 0) Sort();
    }

    // The row comparison under the current sort: descending swaps the operands.
    [[nodiscard]] int Compare(const Record& a, const Record& b) const
    {
        const auto& compare = Traits::Columns()[static_cast<size_t>(sortColumn_)].compare;
        return sortOrder_ == 1 ? compare(a, b) : compare(b, a);
    }

    // The row of a record, -1 when it has none.
    int RowOf(const Record& record)
    {
        if (record.row_ < validBelow_ && rows_[record.row_] == &record) return static_cast<int>(record.row_);
        Renumber(validBelow_);
        if (record.row_ < rows_.size() && rows_[record.row_] == &record) return static_cast<int>(record.row_);
        Renumber(0);
        if (record.row_ < rows_.size() && rows_[record.row_] == &record) return static_cast<int>(record.row_);
        return -1;
    }

    // Selects the record's row (the previous selection loses its focus) and scrolls it into view.
    void Select(const Record& record)
    {
        const int row = RowOf(record);
        if (row < 0) return;
        const int previous = list_.SelectedRow();
        if (previous >= 0) list_.SetFocused(previous, false);
        list_.SetSelected(row, true);
        list_.EnsureVisible(row);
    }

    [[nodiscard]] Record* Selected() const { return RecordAt(list_.SelectedRow()); }

    [[nodiscard]] Record* RecordAt(int row) const
    {
        return row >= 0 && static_cast<size_t>(row) < rows_.size() ? rows_[static_cast<size_t>(row)] : nullptr;
    }
    [[nodiscard]] static int ImageOf(const Record& record) { return record.image_; }

    // Empties the list, then releases every record.
    void Clear()
    {
        list_.DeleteAllRows();
        rows_.clear();
        byKey_.clear();
        records_.Clear();
        validBelow_ = 0;
        unindexed_ = 0;
        seen_ = 0;
        lastFound_ = static_cast<size_t>(-1);
    }

    // Room for this many rows without growing the row table and the key index (a hint).
    void Reserve(size_t rows)
    {
        rows_.reserve(rows);
        byKey_.reserve(rows);
    }

    [[nodiscard]] size_t size() const { return rows_.size(); }
    [[nodiscard]] int sortOrder() const { return sortOrder_; }
    [[nodiscard]] int sortColumn() const { return sortColumn_; }
    [[nodiscard]] bool orderChanged() const { return orderChanged_; }
    [[nodiscard]] ListView& list() { return list_; }

    // The column titles, as the header shows them.
    [[nodiscard]] static std::vector<std::wstring> Titles()
    {
        std::vector<std::wstring> titles;
        for (const auto& column : Traits::Columns()) titles.emplace_back(column.title);
        return titles;
    }

private:
    static constexpr int InitialSortColumn()
    {
        if constexpr (requires { Traits::kInitialSortColumn; })
            return Traits::kInitialSortColumn;
        else
            return 0;
    }

    static constexpr Placement UnsortedPlacement()
    {
        if constexpr (requires { Traits::kUnsortedPlacement; })
            return Traits::kUnsortedPlacement;
        else
            return Placement::kAppend;
    }
    static constexpr Placement SortedPlacement()
    {
        if constexpr (requires { Traits::kSortedPlacement; }) {
            static_assert(Traits::kSortedPlacement != Placement::kTop, "a sorted list appends or places");
            return Traits::kSortedPlacement;
        } else {
            return Placement::kSorted;
        }
    }

    // Inserts the row of a new record at its place, with its first cell's text.
    // Returns the record, now owned by its row, or null when the list refused the
    // row, or the key already has a row this refresh saw in update mode.
    Record* Insert(Record record, int image)
    {
        const Key key = Traits::KeyOf(record);
        const auto known = byKey_.find(key);
        if (known != byKey_.end() && mode_ == RefreshMode::kUpdate) return nullptr;
        Record* raw = records_.Take(std::move(record));
        const size_t place = NewRowPlace(*raw);
        const int row = list_.InsertRow(static_cast<int>(place), Traits::Columns()[0].text(*raw), raw, image);
        if (row < 0) {
            records_.Give(raw);
            return nullptr;
        }
        raw->row_ = place;
        raw->image_ = image;
        if (sortOrder_ != 0 && SortedPlacement() == Placement::kAppend) orderChanged_ = true;  // sorted at the end
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(place), raw);
        validBelow_ = std::min(validBelow_, place);
        // A rebuild replaces the older row of a key; of two rows with one key in
        // the same refresh, the first keeps the index, as a find from the top would.
        if (known == byKey_.end()) {
            byKey_.emplace(key, raw);
        } else {
            if (known->second->generation_ != generation_) known->second = raw;
            ++unindexed_;  // the older row, or this one
        }
        return raw;
    }

    // A known row's values changed: note when they moved it away from its place.
    void CheckPlace(const Record& record)
    {
        if (orderChanged_) return;
        const int row = RowOf(record);
        if (row < 0) return;
        const size_t i = static_cast<size_t>(row);
        if ((i > 0 && Compare(record, *rows_[i - 1]) < 0) || (i + 1 < rows_.size() && Compare(record, *rows_[i + 1]) > 0))
            orderChanged_ = true;
    }

    // The record was seen by this refresh.
    void Touch(Record& record)
    {
        if (record.generation_ == generation_) return;
        record.generation_ = generation_;
        ++seen_;
    }

    // Removes the rows that this refresh did not see, from the last row to the
    // first. A removed row's own image leaves the image list, and every later
    // image moves down into the gap.
    void Sweep()
    {
        if (seen_ == rows_.size()) return;  // every row was seen: nothing to remove
        size_t lowest = rows_.size();
        removedImages_.clear();
        for (size_t i = rows_.size(); i-- > 0;) {
            Record* record = rows_[i];
            if (record->generation_ == generation_) continue;
            list_.DeleteRow(static_cast<int>(i));  // the row goes before its record
            if (record->image_ > 0) removedImages_.push_back(record->image_);
            const auto it = byKey_.find(Traits::KeyOf(*record));
            if (it != byKey_.end() && it->second == record)
                byKey_.erase(it);
            else
                --unindexed_;
            records_.Give(record);
            rows_[i] = nullptr;
            lowest = i;
        }
        if (lowest == rows_.size()) return;
        rows_.erase(std::remove(rows_.begin() + static_cast<std::ptrdiff_t>(lowest), rows_.end(), nullptr), rows_.end());
        validBelow_ = std::min(validBelow_, lowest);
        CompactImages();
    }

    // Removes the swept rows' images, highest first so that the lower indices stay
    // valid, and gives each remaining row its image's new index in one pass.
    void CompactImages()
    {
        if (removedImages_.empty()) return;
        std::sort(removedImages_.begin(), removedImages_.end());
        for (size_t i = removedImages_.size(); i-- > 0;) list_.RemoveImage(removedImages_[i]);
        for (size_t i = 0; i < rows_.size(); ++i) {
            Record& record = *rows_[i];
            if (record.image_ <= 0) continue;
            const auto below = std::lower_bound(removedImages_.begin(), removedImages_.end(), record.image_) - removedImages_.begin();
            if (below == 0) continue;
            record.image_ -= static_cast<int>(below);
            list_.SetRowImage(RowOf(record), record.image_);
        }
    }

    // Unsorted: the end or the top, as the list places new rows. Sorted: the end
    // for lists that sort once when the refresh finishes; otherwise the first
    // row, from the top, that the new row compares below or equal to, so a new row
    // goes before rows that compare equal. Binary search over rows in order.
    size_t NewRowPlace(const Record& record) const
    {
        if (sortOrder_ == 0) return UnsortedPlacement() == Placement::kTop ? 0 : rows_.size();
        if (SortedPlacement() == Placement::kAppend) return rows_.size();
        size_t low = 0;
        size_t high = rows_.size();
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (Compare(record, *rows_[mid]) > 0)
                low = mid + 1;
            else
                high = mid;
        }
        return low;
    }

    void Renumber(size_t from)
    {
        for (size_t i = from; i < rows_.size(); ++i) rows_[i]->row_ = i;
        validBelow_ = rows_.size();
    }

    ListView& list_;
    std::vector<Record*> rows_;  // in list order
    RecordPool<Record> records_;  // owns the records
    std::unordered_map<Key, Record*> byKey_;
    std::vector<int> removedImages_;  // the sweep's, kept for its storage
    size_t unindexed_ = 0;   // rows whose key's index entry is another row's
    size_t validBelow_ = 0;  // records in rows [0, validBelow_) know their index
    mutable size_t lastFound_ = static_cast<size_t>(-1);  // Find's last row: a hint, checked before use
    uint32_t generation_ = 0;
    size_t seen_ = 0;  // rows this refresh has touched
    int sortOrder_ = 0;
    int sortColumn_ = InitialSortColumn();
    RefreshMode mode_ = RefreshMode::kUpdate;
    bool orderChanged_ = false;
    bool refreshing_ = false;
};

}  // namespace kestrun
