#include "display/core/MemoryListView.h"

#include <algorithm>

namespace kestrun {

void MemoryListView::InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width)
{
    const size_t at = std::min(static_cast<size_t>(std::max(column, 0)), columns_.size());
    columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(at), Column{title, align, width});
    for (Row& row : rows_) row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(at), std::wstring());
}

int MemoryListView::InsertRow(int index, const std::wstring& text, void* data)
{
    if (index < 0 || index > RowCount()) return -1;
    Row row;
    row.cells.resize(std::max<size_t>(columns_.size(), 1));
    row.cells[0] = text;
    row.data = data;
    rows_.insert(rows_.begin() + index, std::move(row));
    ++counters_.inserts;
    ++counters_.cellWrites;
    return index;
}

void MemoryListView::DeleteRow(int index)
{
    if (!Valid(index)) return;
    rows_.erase(rows_.begin() + index);
    ++counters_.deletes;
}

void MemoryListView::DeleteAllRows()
{
    counters_.deletes += rows_.size();
    rows_.clear();
}

void MemoryListView::SetCellText(int row, int column, const std::wstring& text)
{
    if (!Valid(row) || column < 0) return;
    std::vector<std::wstring>& cells = rows_[static_cast<size_t>(row)].cells;
    if (static_cast<size_t>(column) >= cells.size()) cells.resize(static_cast<size_t>(column) + 1);
    cells[static_cast<size_t>(column)] = text;
    ++counters_.cellWrites;
}

std::wstring MemoryListView::CellText(int row, int column) const
{
    if (!Valid(row) || column < 0) return {};
    const std::vector<std::wstring>& cells = rows_[static_cast<size_t>(row)].cells;
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : std::wstring();
}

void* MemoryListView::RowData(int row) const { return Valid(row) ? rows_[static_cast<size_t>(row)].data : nullptr; }

void MemoryListView::Sort(const RowCompare& compare)
{
    std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) { return compare(a.data, b.data) < 0; });
    ++counters_.sorts;
}

int MemoryListView::SelectedRow() const
{
    const auto it = std::find_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.selected; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

void MemoryListView::SetSelected(int row, bool selected)
{
    if (!Valid(row)) return;
    if (selected) {
        for (Row& other : rows_) other.selected = false;  // single selection
    }
    rows_[static_cast<size_t>(row)].selected = selected;
}

void MemoryListView::SetFocused(int row, bool focused)
{
    if (!Valid(row)) return;
    if (focused) {
        for (Row& other : rows_) other.focused = false;
    }
    rows_[static_cast<size_t>(row)].focused = focused;
}

int MemoryListView::FocusedRow() const
{
    const auto it = std::find_if(rows_.begin(), rows_.end(), [](const Row& row) { return row.focused; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

std::vector<std::vector<std::wstring>> MemoryListView::Cells() const
{
    std::vector<std::vector<std::wstring>> cells;
    cells.reserve(rows_.size());
    for (const Row& row : rows_) cells.push_back(row.cells);
    return cells;
}

}  // namespace kestrun
