// Row keeping: a list whose rows live across refreshes instead of being rebuilt.
//
// Each row owns one record (the list row's item data). A refresh stamps every
// record it sees with the current generation; rows of older generations are
// removed afterwards, from the last row to the first. Per-column change marks
// make a refresh rewrite only the cells whose value changed. The sort order is
// 0 (unsorted: new rows are appended and rows never move), 1 (ascending) or -1
// (descending) on one sort column; a new row goes straight to its sorted place,
// and a known row whose new values move it out of order asks for one full sort
// at the end of the refresh.
//
// Rows are found by key through a hash map, and each record caches its row
// index, so a refresh is linear in the number of rows.
//
// Traits describe one kind of list:
//   using Record = ...;            // derives from RowRecord
//   using Key = ...;               // hashable
//   static constexpr size_t kColumns;
//   static Key KeyOf(const Record&);
//   static int Compare(const Record& a, const Record& b, int column);  // ascending
#pragma once

#include "display/core/ListView.h"

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrun {

// The part of a row record that row keeping itself uses.
struct RowRecord {
    uint32_t generation = 0;  // the refresh that last saw this row

private:
    template <class>
    friend class RowKeeper;
    size_t row_ = 0;  // the row's index, trusted only below RowKeeper's validBelow_
};

template <class Traits>
class RowKeeper {
public:
    using Record = typename Traits::Record;
    using Key = typename Traits::Key;
    static constexpr size_t kColumns = Traits::kColumns;
    using Marks = std::bitset<kColumns>;

    explicit RowKeeper(ListView& list) : list_(list) {}
    ~RowKeeper() { Clear(); }
    RowKeeper(const RowKeeper&) = delete;
    RowKeeper& operator=(const RowKeeper&) = delete;

    // Starts a refresh: a new generation, order not yet known to be broken.
    void BeginRefresh()
    {
        ++generation_;
        seen_ = 0;
        orderChanged_ = false;
    }
    [[nodiscard]] uint32_t generation() const { return generation_; }

    // A refresh usually asks for rows in the order they are listed (always when
    // unsorted): the row after the last one found is tried before the index.
    [[nodiscard]] Record* Find(const Key& key) const
    {
        const size_t next = lastFound_ + 1;
        if (next < rows_.size() && Traits::KeyOf(*rows_[next]) == key) {
            lastFound_ = next;
            return rows_[next];
        }
        const auto it = byKey_.find(key);
        if (it == byKey_.end()) return nullptr;
        if (it->second->row_ < rows_.size() && rows_[it->second->row_] == it->second) lastFound_ = it->second->row_;
        return it->second;
    }

    // Inserts the row of a new record at its place, with text as its first cell.
    // Returns the record, now owned by its row, or null when the list refused the
    // row or the key already has a row (the record is then dropped).
    Record* Insert(Record record, const std::wstring& text)
    {
        if (byKey_.count(Traits::KeyOf(record)) != 0) return nullptr;
        Record* raw = records_.Take(std::move(record));
        const size_t place = NewRowPlace(*raw);
        const int row = list_.InsertRow(static_cast<int>(place), text, raw);
        if (row < 0) {
            records_.Give(raw);
            return nullptr;
        }
        raw->row_ = place;
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(place), raw);
        validBelow_ = std::min(validBelow_, place);
        byKey_.emplace(Traits::KeyOf(*raw), raw);
        return raw;
    }

    // A known row's values changed: note when they moved it away from its place.
    void CheckPlace(const Record& record)
    {
        if (sortOrder_ == 0 || orderChanged_) return;
        const int row = RowOf(record);
        if (row < 0) return;
        const size_t i = static_cast<size_t>(row);
        if ((i > 0 && Compare(record, *rows_[i - 1]) < 0) || (i + 1 < rows_.size() && Compare(record, *rows_[i + 1]) > 0))
            orderChanged_ = true;
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

    // The record was seen by this refresh.
    void Touch(Record& record)
    {
        if (record.generation == generation_) return;
        record.generation = generation_;
        ++seen_;
    }

    // Writes the text of every marked column, from the first to the last. text(column,
    // marks) may mark later columns, which are then written in the same pass.
    template <class TextOf>
    void WriteMarked(const Record& record, Marks& marks, TextOf&& text)
    {
        const int row = RowOf(record);
        if (row < 0) return;
        for (size_t column = 0; column < kColumns; ++column) {
            if (marks.test(column)) list_.SetCellText(row, static_cast<int>(column), text(static_cast<int>(column), marks));
        }
    }

    // Removes the rows that this refresh did not see, from the last row to the first.
    void Sweep()
    {
        if (seen_ == rows_.size()) return;  // every row was seen: nothing to remove
        size_t lowest = rows_.size();
        for (size_t i = rows_.size(); i-- > 0;) {
            if (rows_[i]->generation == generation_) continue;
            list_.DeleteRow(static_cast<int>(i));  // the row goes before its record
            byKey_.erase(Traits::KeyOf(*rows_[i]));
            records_.Give(rows_[i]);
            rows_[i] = nullptr;
            lowest = i;
        }
        if (lowest == rows_.size()) return;
        rows_.erase(std::remove(rows_.begin() + static_cast<std::ptrdiff_t>(lowest), rows_.end(), nullptr), rows_.end());
        validBelow_ = std::min(validBelow_, lowest);
    }

    // Ends a refresh: one full sort when a known row moved out of order.
    void EndRefresh()
    {
        if (orderChanged_ && sortOrder_ != 0) Sort();
    }

    // A header click: the sort column toggles between ascending and descending,
    // another column becomes the sort column, ascending. The caller then sorts.
    void ClickHeader(int column)
    {
        if (column == sortColumn_) {
            sortOrder_ = sortOrder_ == 1 ? -1 : 1;
        } else {
            sortColumn_ = column;
            sortOrder_ = 1;
        }
    }

    void Sort()
    {
        list_.Sort([this](void* a, void* b) { return Compare(*static_cast<const Record*>(a), *static_cast<const Record*>(b)); });
        for (size_t i = 0; i < rows_.size(); ++i) rows_[i] = static_cast<Record*>(list_.RowData(static_cast<int>(i)));
        Renumber(0);
    }

    // The row comparison under the current sort: descending swaps the operands.
    [[nodiscard]] int Compare(const Record& a, const Record& b) const
    {
        return sortOrder_ == 1 ? Traits::Compare(a, b, sortColumn_) : Traits::Compare(b, a, sortColumn_);
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

    // Empties the list, then releases every record.
    void Clear()
    {
        list_.DeleteAllRows();
        rows_.clear();
        byKey_.clear();
        records_.Clear();
        validBelow_ = 0;
        seen_ = 0;
    }

    [[nodiscard]] size_t size() const { return rows_.size(); }
    [[nodiscard]] int sortOrder() const { return sortOrder_; }
    [[nodiscard]] int sortColumn() const { return sortColumn_; }
    [[nodiscard]] bool orderChanged() const { return orderChanged_; }
    [[nodiscard]] ListView& list() { return list_; }

private:
    // Sort order 0 appends. Otherwise the first row, from the top, that the new
    // row compares below or equal to: a new row goes before rows that compare
    // equal. Binary search over rows that are in order.
    size_t NewRowPlace(const Record& record) const
    {
        if (sortOrder_ == 0) return rows_.size();
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
    std::vector<Record*> rows_;                             // in list order
    // Records live in blocks, so that rows inserted together lie together in
    // memory and a refresh walks them in order; a removed row's record is
    // emptied and serves the next new row.
    class RecordPool {
    public:
        Record* Take(Record&& value)
        {
            Record* slot = nullptr;
            if (!free_.empty()) {
                slot = free_.back();
                free_.pop_back();
            } else {
                if (usedInLast_ == kBlock) {
                    blocks_.push_back(std::make_unique<Record[]>(kBlock));
                    usedInLast_ = 0;
                }
                slot = &blocks_.back()[usedInLast_++];
            }
            *slot = std::move(value);
            return slot;
        }
        void Give(Record* record)
        {
            *record = Record{};
            free_.push_back(record);
        }
        void Clear()
        {
            free_.clear();
            blocks_.clear();
            usedInLast_ = kBlock;
        }

    private:
        static constexpr size_t kBlock = 256;
        std::vector<std::unique_ptr<Record[]>> blocks_;
        std::vector<Record*> free_;
        size_t usedInLast_ = kBlock;
    };

    RecordPool records_;                        // owns the records
    std::unordered_map<Key, Record*> byKey_;
    size_t validBelow_ = 0;  // records in rows [0, validBelow_) know their index
    mutable size_t lastFound_ = static_cast<size_t>(-1);  // Find's last row: a hint, checked before use
    uint32_t generation_ = 0;
    size_t seen_ = 0;  // rows this refresh has touched
    int sortOrder_ = 0;
    int sortColumn_ = 0;
    bool orderChanged_ = false;
};

}  // namespace kestrun
