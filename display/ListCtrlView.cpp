#include "display/ListCtrlView.h"

#include <wx/listctrl.h>

namespace kestrun {

namespace {
int wxCALLBACK CompareRows(wxIntPtr a, wxIntPtr b, wxIntPtr compare)
{
    const auto& rowCompare = *reinterpret_cast<const ListView::RowCompare*>(compare);
    return rowCompare(reinterpret_cast<void*>(a), reinterpret_cast<void*>(b));
}
}  // namespace

void ListCtrlView::InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width)
{
    const wxListColumnFormat format = align == ColumnAlign::kRight ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT;
    list_->InsertColumn(column, title, format, width == kAutoColumnWidth ? wxLIST_AUTOSIZE_USEHEADER : list_->FromDIP(width));
    if (width == kAutoColumnWidth) list_->SetColumnWidth(column, wxLIST_AUTOSIZE_USEHEADER);
}

int ListCtrlView::RowCount() const { return list_->GetItemCount(); }

int ListCtrlView::InsertRow(int index, const std::wstring& text, void* data)
{
    const long row = list_->InsertItem(index, text);
    if (row < 0) return -1;
    list_->SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(data));
    return static_cast<int>(row);
}

void ListCtrlView::DeleteRow(int index) { list_->DeleteItem(index); }

void ListCtrlView::DeleteAllRows() { list_->DeleteAllItems(); }

void ListCtrlView::SetCellText(int row, int column, const std::wstring& text) { list_->SetItem(row, column, text); }

std::wstring ListCtrlView::CellText(int row, int column) const { return list_->GetItemText(row, column).ToStdWstring(); }

void* ListCtrlView::RowData(int row) const { return reinterpret_cast<void*>(list_->GetItemData(row)); }

void ListCtrlView::Sort(const RowCompare& compare) { list_->SortItems(CompareRows, reinterpret_cast<wxIntPtr>(&compare)); }

int ListCtrlView::SelectedRow() const
{
    return static_cast<int>(list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
}

void ListCtrlView::SetSelected(int row, bool selected)
{
    list_->SetItemState(row, selected ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
}

void ListCtrlView::SetFocused(int row, bool focused)
{
    list_->SetItemState(row, focused ? wxLIST_STATE_FOCUSED : 0, wxLIST_STATE_FOCUSED);
}

void ListCtrlView::EnsureVisible(int row) { list_->EnsureVisible(row); }

}  // namespace kestrun
