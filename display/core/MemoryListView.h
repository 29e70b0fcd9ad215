// A list without a window: rows, cells and images in memory. Batch mode prints it; tests
// read it and count the cell writes a refresh makes.
#pragma once

#include "display/core/ListView.h"

#include <cstddef>
#include <cstdint>
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
    int InsertRow(int index, const std::wstring& text, void* data, int image) override;
    void DeleteRow(int index) override;
    void DeleteAllRows() override;
    void SetCellText(int row, int column, const std::wstring& text) override;
    [[nodiscard]] std::wstring CellText(int row, int column) const override;
    [[nodiscard]] void* RowData(int row) const override;
    void Sort(const RowCompare& compare) override;
    void ShowSortIndicator(int column, int order) override
    {
        sortIndicator_ = {column, order};
    }

    int AddImage(const platform::Image& image) override;
    void RemoveImage(int index) override;
    [[nodiscard]] int ImageCount() const override { return static_cast<int>(images_.size()); }
    void SetRowImage(int row, int image) override;
    [[nodiscard]] int RowImage(int row) const override;

    [[nodiscard]] int SelectedRow() const override;
    void SetSelected(int row, bool selected) override;
    void SetFocused(int row, bool focused) override;
    void EnsureVisible(int row) override { lastVisible_ = row; }

    [[nodiscard]] const std::vector<Column>& columns() const { return columns_; }
    // Every row's cells, one text per column.
    [[nodiscard]] std::vector<std::vector<std::wstring>> Cells() const;
    [[nodiscard]] int FocusedRow() const;
    [[nodiscard]] int lastVisible() const { return lastVisible_; }
    [[nodiscard]] const std::vector<platform::Image>& images() const { return images_; }
    // The header's sort indicator: column and order (0 none).
    struct SortIndicator {
        int column = 0;
        int order = 0;
    };
    [[nodiscard]] SortIndicator sortIndicator() const { return sortIndicator_; }

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
    // A cell's text: all-ASCII texts (nearly every cell) are kept one byte a
    // character, so the short ones sit inside the cell with no block of their
    // own; any other text is kept whole, after a marker byte no ASCII text has.
    class Cell {
    public:
        void Assign(const std::wstring& text);
        [[nodiscard]] std::wstring Text() const;

    private:
        static constexpr char kWide = '\xFF';
        std::string bytes_;
    };

    // A row's cells are the cells of its slot in the pool: slot * width_ up to
    // the next slot. Rows move (inserts, deletes, sorts) without their cells; a
    // deleted row's slot is reused by the next row inserted. A refresh walks the
    // rows in list order, which for rows inserted together is pool order.
    struct Row {
        uint32_t slot = 0;
        bool selected = false;
        bool focused = false;
        int image = 0;
        void* data = nullptr;
    };

    [[nodiscard]] bool Valid(int row) const { return row >= 0 && row < RowCount(); }
    [[nodiscard]] Cell& CellAt(const Row& row, size_t column) { return pool_[row.slot * width_ + column]; }
    [[nodiscard]] const Cell& CellAt(const Row& row, size_t column) const { return pool_[row.slot * width_ + column]; }
    // Gives every slot an empty cell before column `at`.
    void InsertPoolColumn(size_t at);

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    std::vector<Cell> pool_;
    size_t width_ = 1;  // cells per slot
    std::vector<uint32_t> freeSlots_;
    Counters counters_;
    int lastVisible_ = -1;
    std::vector<platform::Image> images_;
    SortIndicator sortIndicator_;
};

}  // namespace kestrun
