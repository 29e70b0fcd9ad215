#include "display/core/MemoryListView.h"

#include <algorithm>
#include <cstring>

namespace kestrun {

void MemoryListView::Cell::Assign(const std::wstring& text)
{
    const bool ascii = std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0 && c < 0x80; });
    if (ascii) {
        bytes_.resize(text.size());
        std::transform(text.begin(), text.end(), bytes_.begin(), [](wchar_t c) { return static_cast<char>(c); });
        return;
    }
    bytes_.assign(1, kWide);
    bytes_.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring MemoryListView::Cell::Text() const
{
    if (bytes_.empty() || bytes_[0] != kWide) return std::wstring(bytes_.begin(), bytes_.end());
    std::wstring text((bytes_.size() - 1) / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes_.data() + 1, text.size() * sizeof(wchar_t));
    return text;
}

void MemoryListView::InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width)
{
    const size_t at = std::min(static_cast<size_t>(std::max(column, 0)), columns_.size());
    columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(at), Column{title, align, width});
    // The first column replaces the one cell a row has before there are columns.
    if (columns_.size() > width_) InsertPoolColumn(at);
}

void MemoryListView::InsertPoolColumn(size_t at)
{
    const size_t slots = pool_.size() / width_;
    std::vector<Cell> pool;
    pool.reserve(slots * (width_ + 1));
    for (size_t slot = 0; slot < slots; ++slot) {
        auto first = std::make_move_iterator(pool_.begin() + static_cast<std::ptrdiff_t>(slot * width_));
        pool.insert(pool.end(), first, first + static_cast<std::ptrdiff_t>(at));
        pool.emplace_back();
        pool.insert(pool.end(), first + static_cast<std::ptrdiff_t>(at), first + static_cast<std::ptrdiff_t>(width_));
    }
    pool_ = std::move(pool);
    ++width_;
}

int MemoryListView::InsertRow(int index, const std::wstring& text, void* data, int image)
{
    if (index < 0 || index > RowCount()) return -1;
    Row row;
    row.data = data;
    row.image = image;
    if (!freeSlots_.empty()) {
        row.slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        row.slot = static_cast<uint32_t>(pool_.size() / width_);
        pool_.resize(pool_.size() + width_);
    }
    CellAt(row, 0).Assign(text);
    rows_.insert(rows_.begin() + index, row);
    ++counters_.inserts;
    ++counters_.cellWrites;
    return index;
}

void MemoryListView::DeleteRow(int index)
{
    if (!Valid(index)) return;
    const Row& row = rows_[static_cast<size_t>(index)];
    for (size_t column = 0; column < width_; ++column) CellAt(row, column) = Cell();
    freeSlots_.push_back(row.slot);
    rows_.erase(rows_.begin() + index);
    ++counters_.deletes;
}

void MemoryListView::DeleteAllRows()
{
    counters_.deletes += rows_.size();
    rows_.clear();
    pool_.clear();
    freeSlots_.clear();
}

void MemoryListView::SetCellText(int row, int column, const std::wstring& text)
{
    if (!Valid(row) || column < 0) return;
    while (static_cast<size_t>(column) >= width_) InsertPoolColumn(width_);
    CellAt(rows_[static_cast<size_t>(row)], static_cast<size_t>(column)).Assign(text);
    ++counters_.cellWrites;
}

std::wstring MemoryListView::CellText(int row, int column) const
{
    if (!Valid(row) || column < 0 || static_cast<size_t>(column) >= width_) return {};
    return CellAt(rows_[static_cast<size_t>(row)], static_cast<size_t>(column)).Text();
}

void* MemoryListView::RowData(int row) const { return Valid(row) ? rows_[static_cast<size_t>(row)].data : nullptr; }

void MemoryListView::Sort(const RowCompare& compare)
{
    std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) { return compare(a.data, b.data) < 0; });
    ++counters_.sorts;
}

int MemoryListView::AddImage(const platform::Image& image)
{
    images_.push_back(image);
    return static_cast<int>(images_.size()) - 1;
}

void MemoryListView::RemoveImage(int index)
{
    if (index >= 0 && index < ImageCount()) images_.erase(images_.begin() + index);
}

void MemoryListView::SetRowImage(int row, int image)
{
    if (Valid(row)) rows_[static_cast<size_t>(row)].image = image;
}

int MemoryListView::RowImage(int row) const { return Valid(row) ? rows_[static_cast<size_t>(row)].image : -1; }

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
    for (const Row& row : rows_) {
        std::vector<std::wstring>& texts = cells.emplace_back();
        texts.reserve(width_);
        for (size_t column = 0; column < width_; ++column) texts.push_back(CellAt(row, column).Text());
    }
    return cells;
}

}  // namespace kestrun
