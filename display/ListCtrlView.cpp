#include "display/ListCtrlView.h"

#include "display/DialogScale.h"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/settings.h>

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace kestrun {

namespace {
// The rows' places after the stable sort, by item data: the control's own sort
// is not stable, so it is handed an order with no two rows equal.
int wxCALLBACK CompareRanks(wxIntPtr a, wxIntPtr b, wxIntPtr ranks)
{
    const auto& rank = *reinterpret_cast<const std::unordered_map<wxIntPtr, size_t>*>(ranks);
    const size_t ra = rank.at(a);
    const size_t rb = rank.at(b);
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

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
}

int ListCtrlView::RowCount() const { return list_->GetItemCount(); }

int ListCtrlView::InsertRow(int index, const std::wstring& text, void* data, int image)
{
    const long row = list_->InsertItem(index, text, list_->GetImageList(wxIMAGE_LIST_SMALL) != nullptr ? image : -1);
    if (row < 0) return -1;
    list_->SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(data));
    return static_cast<int>(row);
}

void ListCtrlView::DeleteRow(int index) { list_->DeleteItem(index); }

void ListCtrlView::DeleteAllRows() { list_->DeleteAllItems(); }

void ListCtrlView::SetCellText(int row, int column, const std::wstring& text) { list_->SetItem(row, column, text); }

std::wstring ListCtrlView::CellText(int row, int column) const { return list_->GetItemText(row, column).ToStdWstring(); }

void* ListCtrlView::RowData(int row) const { return reinterpret_cast<void*>(list_->GetItemData(row)); }

void ListCtrlView::Sort(const RowCompare& compare)
{
    const int count = list_->GetItemCount();
    std::vector<wxIntPtr> order(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) order[static_cast<size_t>(row)] = static_cast<wxIntPtr>(list_->GetItemData(row));
    std::stable_sort(order.begin(), order.end(), [&](wxIntPtr a, wxIntPtr b) {
        return compare(reinterpret_cast<void*>(a), reinterpret_cast<void*>(b)) < 0;
    });
    std::unordered_map<wxIntPtr, size_t> ranks;
    ranks.reserve(order.size());
    for (size_t i = 0; i < order.size(); ++i) ranks.emplace(order[i], i);
    // The generic control forgets which row was selected and focused when it
    // sorts: both go back to their rows at their new places.
    const long selected = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    const long focused = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    const wxIntPtr selectedData = selected >= 0 ? static_cast<wxIntPtr>(list_->GetItemData(selected)) : 0;
    const wxIntPtr focusedData = focused >= 0 ? static_cast<wxIntPtr>(list_->GetItemData(focused)) : 0;
    list_->SortItems(CompareRanks, reinterpret_cast<wxIntPtr>(&ranks));
    if (focused >= 0) list_->SetItemState(static_cast<long>(ranks.at(focusedData)), wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    if (selected >= 0) {
        const long row = static_cast<long>(ranks.at(selectedData));
        if (list_->GetItemState(row, wxLIST_STATE_SELECTED) == 0) list_->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
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

void ListCtrlView::SetRowImage(int row, int image) { list_->SetItemImage(row, image); }

int ListCtrlView::RowImage(int row) const
{
    wxListItem item;
    item.SetId(row);
    item.SetMask(wxLIST_MASK_IMAGE);
    return list_->GetItem(item) ? item.GetImage() : -1;
}

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
