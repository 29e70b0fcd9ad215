// A report list whose rows live in the program, not in the control: the
// control asks for the texts of the rows it paints. A row costs its texts
// alone, a cell written with its old text costs nothing, and a changed cell
// repaints its row only when the row is in view. The generic control would
// measure every text it is given and keep a record per cell.
//
// The control keeps the focused and selected row by index, so the store moves
// them with their rows on every insert, delete and sort, without telling the
// window: the row shown as selected has not changed.
#pragma once

#include <wx/listctrl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kestrun {

class VirtualListCtrl final : public wxListCtrl {
public:
    // Made by the resource loader, which calls Create with the template's style
    // (which must hold wxLC_VIRTUAL).
    VirtualListCtrl();
    // wxLC_VIRTUAL is added to style.
    VirtualListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style);

    [[nodiscard]] size_t RowCount() const { return m_rows.size(); }
    // index is at most RowCount(). The new row's other cells are empty.
    void InsertRow(size_t index, std::string firstCell, void* data, int image);
    void DeleteRow(size_t index);
    void DeleteAllRows();
    // Every row gets an empty cell at column (the later cells move right).
    void InsertColumnCells(size_t column);

    void SetCell(size_t row, size_t column, std::string text);
    [[nodiscard]] const std::string& Cell(size_t row, size_t column) const;
    [[nodiscard]] void* RowData(size_t row) const { return row < m_rows.size() ? m_rows[row].data : nullptr; }
    void SetRowImage(size_t row, int image);
    [[nodiscard]] int RowImage(size_t row) const { return row < m_rows.size() ? m_rows[row].image : -1; }

    // Reorders the rows with a stable sort by their data.
    void SortRows(const std::function<bool(void* a, void* b)>& less);

    // The focused row as the control last reported it, -1 when none.
    [[nodiscard]] long FocusedRow() const { return m_focused; }
    // Whether that row is selected (in single selection, the selected row is the focused one).
    [[nodiscard]] bool FocusedIsSelected() const;

protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemImage(long item) const override;
    int OnGetItemColumnImage(long item, long column) const override;

private:
    struct Row {
        std::vector<std::string> cells;  // UTF-8: most cells fit the string's own buffer
        void* data = nullptr;
        int image = 0;
    };

    void TrackFocus();
    void OnFocusOrSelection(wxListEvent& event);
    // Moves the focus (and the selection, when the focused row was selected)
    // from one index to another, quietly.
    void MoveFocus(long from, long to, bool selected);

    std::vector<Row> m_rows;
    size_t m_columns = 0;
    long m_focused = -1;
    int m_quiet = 0;  // while above 0, the store's own moves are not passed on to the window

    wxDECLARE_DYNAMIC_CLASS_NO_COPY(VirtualListCtrl);
};

}  // namespace kestrun
