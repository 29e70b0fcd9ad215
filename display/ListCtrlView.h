// The narrow list interface over a wxListCtrl in report view.
#pragma once

#include "display/core/ListView.h"

class wxListCtrl;

namespace kestrun {

class ListCtrlView final : public ListView {
public:
    explicit ListCtrlView(wxListCtrl* list) : list_(list) {}

    void InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width) override;

    [[nodiscard]] int RowCount() const override;
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
    void EnsureVisible(int row) override;

    [[nodiscard]] wxListCtrl* control() const { return list_; }

private:
    wxListCtrl* list_;
};

}  // namespace kestrun
