// The narrow list interface over a report list whose rows the program keeps.
#pragma once

#include "display/VirtualListCtrl.h"
#include "display/core/ListView.h"

class wxIcon;
class wxImageList;

namespace kestrun {

class ListCtrlView final : public ListView {
public:
    explicit ListCtrlView(VirtualListCtrl* list) : list_(list) {}

    // Classic widths are scaled by the list's dialog units, so fixed columns fit
    // their texts in the font the list really uses.
    void InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width) override;

    [[nodiscard]] int RowCount() const override;
    int InsertRow(int index, const std::wstring& text, void* data, int image) override;
    void DeleteRow(int index) override;
    void DeleteAllRows() override;
    void SetCellText(int row, int column, const std::wstring& text) override;
    [[nodiscard]] std::wstring CellText(int row, int column) const override;
    [[nodiscard]] void* RowData(int row) const override;
    void Sort(const RowCompare& compare) override;
    void ShowSortIndicator(int column, int order) override;

    // The images live in the list's small-image list, made at the system's
    // small-icon size on the first image added.
    int AddImage(const platform::Image& image) override;
    int AddImage(const wxIcon& icon);
    void RemoveImage(int index) override;
    [[nodiscard]] int ImageCount() const override;
    void SetRowImage(int row, int image) override;
    [[nodiscard]] int RowImage(int row) const override;

    [[nodiscard]] int SelectedRow() const override;
    void SetSelected(int row, bool selected) override;
    void SetFocused(int row, bool focused) override;
    void EnsureVisible(int row) override;

    [[nodiscard]] VirtualListCtrl* control() const { return list_; }

private:
    wxImageList* Images();

    VirtualListCtrl* list_;
};

}  // namespace kestrun
