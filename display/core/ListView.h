// The narrow list interface the row-keeping logic talks to: a report list of
// rows with one text per column, one pointer of item data and one small-icon
// image index per row. A wxListCtrl adapter shows it in a window; an in-memory
// list serves tests and batch mode.
#pragma once

#include "platform/Types.h"

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

    // width is in classic pixels (the list scales it to its own font), or kAutoColumnWidth.
    virtual void InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width) = 0;

    [[nodiscard]] virtual int RowCount() const = 0;
    // Inserts a row before index (index == RowCount() appends) with text as its
    // first cell, data as its item data and image as its small icon (0 is the
    // list's default image). Returns the row's index, -1 on failure.
    virtual int InsertRow(int index, const std::wstring& text, void* data, int image) = 0;
    virtual void DeleteRow(int index) = 0;
    virtual void DeleteAllRows() = 0;
    virtual void SetCellText(int row, int column, const std::wstring& text) = 0;
    [[nodiscard]] virtual std::wstring CellText(int row, int column) const = 0;
    [[nodiscard]] virtual void* RowData(int row) const = 0;

    // Reorders all rows with a stable sort: rows that compare equal keep their
    // order. Row data, image and selection stay with their row.
    virtual void Sort(const RowCompare& compare) = 0;
    // Shows the sort order on a column's header: 1 ascending, -1 descending, 0 none.
    virtual void ShowSortIndicator(int column, int order) = 0;

    // The small-icon images: AddImage returns the new image's index, -1 when it
    // could not be added; RemoveImage moves every later image down by one.
    virtual int AddImage(const platform::Image& image) = 0;
    virtual void RemoveImage(int index) = 0;
    [[nodiscard]] virtual int ImageCount() const = 0;
    virtual void SetRowImage(int row, int image) = 0;
    [[nodiscard]] virtual int RowImage(int row) const = 0;

    // The selected row (single selection), -1 when none.
    [[nodiscard]] virtual int SelectedRow() const = 0;
    virtual void SetSelected(int row, bool selected) = 0;
    virtual void SetFocused(int row, bool focused) = 0;
    virtual void EnsureVisible(int row) = 0;
};

}  // namespace kestrun
