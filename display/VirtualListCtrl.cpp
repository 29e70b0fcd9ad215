#include "display/VirtualListCtrl.h"

#include <algorithm>

namespace kestrun {

wxIMPLEMENT_DYNAMIC_CLASS(VirtualListCtrl, wxListCtrl);

namespace {
const std::string kNoText;

// While one lives, the store's own moves of focus and selection stay in the control.
class Quiet {
public:
    explicit Quiet(int& depth) : depth_(depth) { ++depth_; }
    ~Quiet() { --depth_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int& depth_;
};
}  // namespace

VirtualListCtrl::VirtualListCtrl() { TrackFocus(); }

VirtualListCtrl::VirtualListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
    : wxListCtrl(parent, id, pos, size, style | wxLC_VIRTUAL)
{
    TrackFocus();
}

void VirtualListCtrl::TrackFocus()
{
    Bind(wxEVT_LIST_ITEM_FOCUSED, &VirtualListCtrl::OnFocusOrSelection, this);
    Bind(wxEVT_LIST_ITEM_SELECTED, &VirtualListCtrl::OnFocusOrSelection, this);
    Bind(wxEVT_LIST_ITEM_DESELECTED, &VirtualListCtrl::OnFocusOrSelection, this);
}

void VirtualListCtrl::OnFocusOrSelection(wxListEvent& event)
{
    // The control changes its focused row only through this event (in single
    // selection, the selected row is always the focused one).
    if (event.GetEventType() == wxEVT_LIST_ITEM_FOCUSED) m_focused = event.GetIndex();
    if (m_quiet == 0) event.Skip();
}

bool VirtualListCtrl::FocusedIsSelected() const
{
    return m_focused >= 0 && m_focused < GetItemCount() && GetItemState(m_focused, wxLIST_STATE_SELECTED) != 0;
}

void VirtualListCtrl::MoveFocus(long from, long to, bool selected)
{
    if (from == to || to < 0 || to >= GetItemCount()) return;
    const Quiet quiet(m_quiet);
    if (selected)
        SetItemState(to, wxLIST_STATE_FOCUSED | wxLIST_STATE_SELECTED, wxLIST_STATE_FOCUSED | wxLIST_STATE_SELECTED);
    else
        SetItemState(to, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
}

void VirtualListCtrl::InsertRow(size_t index, std::string firstCell, void* data, int image)
{
    index = std::min(index, m_rows.size());
    const long focus = m_focused;
    const bool selected = FocusedIsSelected();
    Row row;
    row.cells.resize(std::max<size_t>(m_columns, 1));
    row.cells[0] = std::move(firstCell);
    row.data = data;
    row.image = image;
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));

    const Quiet quiet(m_quiet);
    SetItemCount(static_cast<long>(m_rows.size()));
    if (focus >= static_cast<long>(index)) MoveFocus(focus, focus + 1, selected);
}

void VirtualListCtrl::DeleteRow(size_t index)
{
    if (index >= m_rows.size()) return;
    const long focus = m_focused;
    const bool selected = FocusedIsSelected();
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(index));

    const Quiet quiet(m_quiet);
    const long row = static_cast<long>(index);
    if (focus == row) {
        // The focus stays at the row's place (the next row, or the new last
        // one); the selection goes with the row.
        if (selected) SetItemState(row, 0, wxLIST_STATE_SELECTED);
    } else if (focus > row) {
        MoveFocus(focus, focus - 1, selected);
    }
    SetItemCount(static_cast<long>(m_rows.size()));
}

void VirtualListCtrl::DeleteAllRows()
{
    m_rows.clear();
    const Quiet quiet(m_quiet);
    DeleteAllItems();
}

void VirtualListCtrl::InsertColumnCells(size_t column)
{
    ++m_columns;
    for (Row& row : m_rows) {
        if (row.cells.size() < m_columns) row.cells.insert(row.cells.begin() + static_cast<std::ptrdiff_t>(std::min(column, row.cells.size())), std::string());
    }
}

void VirtualListCtrl::SetCell(size_t row, size_t column, std::string text)
{
    if (row >= m_rows.size() || column >= m_rows[row].cells.size()) return;  // no such cell
    std::string& cell = m_rows[row].cells[column];
    if (cell == text) return;
    cell = std::move(text);
    RefreshItem(static_cast<long>(row));  // repaints only a row in view
}

const std::string& VirtualListCtrl::Cell(size_t row, size_t column) const
{
    if (row >= m_rows.size() || column >= m_rows[row].cells.size()) return kNoText;
    return m_rows[row].cells[column];
}

void VirtualListCtrl::SetRowImage(size_t row, int image)
{
    if (row >= m_rows.size() || m_rows[row].image == image) return;
    m_rows[row].image = image;
    RefreshItem(static_cast<long>(row));
}

void VirtualListCtrl::SortRows(const std::function<bool(void* a, void* b)>& less)
{
    const long focus = m_focused;
    const bool selected = FocusedIsSelected();
    void* const focusData = focus >= 0 && static_cast<size_t>(focus) < m_rows.size() ? m_rows[focus].data : nullptr;
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const Row& a, const Row& b) { return less(a.data, b.data); });
    if (focusData != nullptr) {
        const auto it = std::find_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.data == focusData; });
        MoveFocus(focus, static_cast<long>(it - m_rows.begin()), selected);
    }
    if (!m_rows.empty()) RefreshItems(0, static_cast<long>(m_rows.size()) - 1);
}

wxString VirtualListCtrl::OnGetItemText(long item, long column) const
{
    if (item < 0 || column < 0) return wxString();
    const std::string& cell = Cell(static_cast<size_t>(item), static_cast<size_t>(column));
    return wxString::FromUTF8(cell.data(), cell.size());
}

int VirtualListCtrl::OnGetItemImage(long item) const { return OnGetItemColumnImage(item, 0); }

int VirtualListCtrl::OnGetItemColumnImage(long item, long column) const
{
    // A list without images shows none (image 0 would leave room for one).
    if (column != 0 || item < 0 || GetImageList(wxIMAGE_LIST_SMALL) == nullptr) return -1;
    return RowImage(static_cast<size_t>(item));
}

}  // namespace kestrun
