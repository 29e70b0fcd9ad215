// The narrow list interface the row-keeping logic talks to: a report list of
// rows with one text per column and one pointer of item data per row. A
// wxListCtrl adapter shows it in a window; an in-memory list serves tests and
// batch mode.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrun {

enum class ColumnAlign { kLeft, kRight };

// Width of a column that is sized to fit its header text.
constexpr int kAutoColumnWidth = -1;

class ListView {
public:
    // Orders two rows by their item data: below 0, 0 or above 0.
    using RowCompare = std::function<int(void* a, void* b)>;

    virtual ~ListView() = default;

    virtual void InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width) = 0;

    [[nodiscard]] virtual int RowCount() const = 0;
    // Inserts a row before index (index == RowCount() appends) with text as its
    // first cell and data as its item data. Returns the row's index, -1 on failure.
    virtual int InsertRow(int index, const std::wstring& text, void* data) = 0;
    virtual void DeleteRow(int index) = 0;
    virtual void DeleteAllRows() = 0;
    virtual void SetCellText(int row, int column, const std::wstring& text) = 0;
    [[nodiscard]] virtual std::wstring CellText(int row, int column) const = 0;
    [[nodiscard]] virtual void* RowData(int row) const = 0;

    // Reorders all rows; row data stays with its row.
    virtual void Sort(const RowCompare& compare) = 0;

    // The selected row (single selection), -1 when none.
    [[nodiscard]] virtual int SelectedRow() const = 0;
    virtual void SetSelected(int row, bool selected) = 0;
    virtual void SetFocused(int row, bool focused) = 0;
    virtual void EnsureVisible(int row) = 0;
};

}  // namespace kestrun
