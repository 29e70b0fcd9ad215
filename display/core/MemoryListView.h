// A list without a window: rows and cells in memory. Batch mode prints it; tests
// read it and count the cell writes a refresh makes.
#pragma once

#include "display/core/ListView.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kestrun {

class MemoryListView final : public ListView {
public:
    struct Column {
        std::wstring title;
        ColumnAlign align = ColumnAlign::kLeft;
        int width = 0;
    };

    void InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width) override;

    [[nodiscard]] int RowCount() const override { return static_cast<int>(rows_.size()); }
    int InsertRow(int index, const std::wstring& text, void* data) override;
    void DeleteRow(int index) override;
    void DeleteAllRows() override;
    void SetCellText(int row, int column, const std::wstring& text) override;
    [[nodiscard]] std::wstring CellText(int row, int column) const override;
    [[nodiscard]] void* RowData(int row) const override;
    void Sort(const RowCompare& compare) override;

    [[nodiscard]] int SelectedRow() const override;
    void SetSelected(int row, bool selected) override;
    void SetFocused(int row, bool focused) override;
    void EnsureVisible(int row) override { lastVisible_ = row; }

    [[nodiscard]] const std::vector<Column>& columns() const { return columns_; }
    // Every row's cells, one text per column.
    [[nodiscard]] std::vector<std::vector<std::wstring>> Cells() const;
    [[nodiscard]] int FocusedRow() const;
    [[nodiscard]] int lastVisible() const { return lastVisible_; }

    // Counters of the work done on the list, for tests and benchmarks.
    struct Counters {
        size_t cellWrites = 0;  // SetCellText calls, and the first cell of each insert
        size_t inserts = 0;
        size_t deletes = 0;
        size_t sorts = 0;
    };
    [[nodiscard]] const Counters& counters() const { return counters_; }
    void ResetCounters() { counters_ = {}; }

private:
    struct Row {
        std::vector<std::wstring> cells;
        void* data = nullptr;
        bool selected = false;
        bool focused = false;
    };

    [[nodiscard]] bool Valid(int row) const { return row >= 0 && row < RowCount(); }

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    Counters counters_;
    int lastVisible_ = -1;
};

}  // namespace kestrun
