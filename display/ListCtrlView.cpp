#include "display/ListCtrlView.h"

#include "display/DialogScale.h"
#include "platform/Types.h"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/settings.h>

#include <algorithm>

namespace kestrun {

namespace {
wxBitmap ToBitmap(const platform::Image& image, const wxSize& size)
{
    wxImage picture(image.width, image.height);
    picture.InitAlpha();
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint32_t argb = image.pixels[static_cast<size_t>(y * image.width + x)];
            picture.SetRGB(x, y, (argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
            picture.SetAlpha(x, y, static_cast<unsigned char>(argb >> 24));
        }
    }
    if (picture.GetSize() != size) picture.Rescale(size.x, size.y, wxIMAGE_QUALITY_HIGH);
    return wxBitmap(picture);
}
}  // namespace

void ListCtrlView::InsertColumn(int column, const std::wstring& title, ColumnAlign align, int width)
{
    const wxListColumnFormat format = align == ColumnAlign::kRight ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT;
    if (width == kAutoColumnWidth) {
        list_->InsertColumn(column, title, format, wxLIST_AUTOSIZE_USEHEADER);
        list_->SetColumnWidth(column, wxLIST_AUTOSIZE_USEHEADER);
    } else {
        list_->InsertColumn(column, title, format, ScaleClassicWidth(list_, width));
    }
    list_->InsertColumnCells(static_cast<size_t>(column));
}

int ListCtrlView::RowCount() const { return static_cast<int>(list_->RowCount()); }

int ListCtrlView::InsertRow(int index, const std::wstring& text, void* data, int image)
{
    if (index < 0) return -1;
    const size_t row = std::min(static_cast<size_t>(index), list_->RowCount());
    list_->InsertRow(row, platform::Narrow(text), data, image);
    return static_cast<int>(row);
}

void ListCtrlView::DeleteRow(int index)
{
    if (index >= 0) list_->DeleteRow(static_cast<size_t>(index));
}

void ListCtrlView::DeleteAllRows() { list_->DeleteAllRows(); }

void ListCtrlView::SetCellText(int row, int column, const std::wstring& text)
{
    if (row >= 0 && column >= 0) list_->SetCell(static_cast<size_t>(row), static_cast<size_t>(column), platform::Narrow(text));
}

std::wstring ListCtrlView::CellText(int row, int column) const
{
    if (row < 0 || column < 0) return {};
    return platform::Widen(list_->Cell(static_cast<size_t>(row), static_cast<size_t>(column)));
}

void* ListCtrlView::RowData(int row) const { return row < 0 ? nullptr : list_->RowData(static_cast<size_t>(row)); }

void ListCtrlView::Sort(const RowCompare& compare)
{
    list_->SortRows([&](void* a, void* b) { return compare(a, b) < 0; });
}

void ListCtrlView::ShowSortIndicator(int column, int order)
{
    if (order == 0)
        list_->RemoveSortIndicator();
    else
        list_->ShowSortIndicator(column, order == 1);
}

wxImageList* ListCtrlView::Images()
{
    wxImageList* images = list_->GetImageList(wxIMAGE_LIST_SMALL);
    if (images != nullptr) return images;
    const int width = std::max(wxSystemSettings::GetMetric(wxSYS_SMALLICON_X, list_), 16);
    const int height = std::max(wxSystemSettings::GetMetric(wxSYS_SMALLICON_Y, list_), 16);
    list_->AssignImageList(new wxImageList(width, height, true, 1), wxIMAGE_LIST_SMALL);
    return list_->GetImageList(wxIMAGE_LIST_SMALL);
}

int ListCtrlView::AddImage(const platform::Image& image)
{
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != static_cast<size_t>(image.width * image.height))
        return -1;
    wxImageList* images = Images();
    return images->Add(ToBitmap(image, images->GetSize()));
}

int ListCtrlView::AddImage(const wxIcon& icon)
{
    if (!icon.IsOk()) return -1;
    wxImageList* images = Images();
    wxImage picture = wxBitmap(icon).ConvertToImage();
    if (picture.GetSize() != images->GetSize()) picture.Rescale(images->GetSize().x, images->GetSize().y, wxIMAGE_QUALITY_HIGH);
    return images->Add(wxBitmap(picture));
}

void ListCtrlView::RemoveImage(int index)
{
    if (wxImageList* images = list_->GetImageList(wxIMAGE_LIST_SMALL); images != nullptr) images->Remove(index);
}

int ListCtrlView::ImageCount() const
{
    const wxImageList* images = list_->GetImageList(wxIMAGE_LIST_SMALL);
    return images == nullptr ? 0 : images->GetImageCount();
}

void ListCtrlView::SetRowImage(int row, int image)
{
    if (row >= 0) list_->SetRowImage(static_cast<size_t>(row), image);
}

int ListCtrlView::RowImage(int row) const { return row < 0 ? -1 : list_->RowImage(static_cast<size_t>(row)); }

int ListCtrlView::SelectedRow() const
{
    // A single-selection list: the selected row, when there is one, is the focused one.
    return list_->FocusedIsSelected() ? static_cast<int>(list_->FocusedRow()) : -1;
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
