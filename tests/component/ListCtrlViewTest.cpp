// The list control adapter against the in-memory list: the same rows in the
// same order after the row keeper sorts (rows that compare equal included), the
// selected row still selected and moving with its row through inserts, deletes
// and sorts without the window hearing of it, the texts the control paints,
// images kept and compacted, the header's sort indicator, and classic column
// widths scaled once.
#include "display/DialogScale.h"
#include "display/ListCtrlView.h"
#include "display/core/MemoryListView.h"
#include "display/core/RowKeeper.h"

#include <gtest/gtest.h>

#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/xrc/xmlres.h>

#include <array>
#include <string>
#include <vector>

namespace kestrun {
namespace {

struct Entry : RowRecord {
    int key = 0;
    int group = 0;  // many rows share a group: equal keys for the sort
    std::wstring name;
};

struct EntryTraits {
    using Record = Entry;
    using Key = int;
    static constexpr size_t kColumns = 3;
    static int KeyOf(const Entry& entry) { return entry.key; }
    static const ColumnTable<Entry, kColumns>& Columns()
    {
        static const ColumnTable<Entry, kColumns> columns = {{
            {L"Key", ColumnAlign::kLeft, 70, [](const Entry& e) { return std::to_wstring(e.key); },
             [](const Entry& a, const Entry& b) { return Order(a.key, b.key); }},
            {L"Group", ColumnAlign::kRight, kAutoColumnWidth, [](const Entry& e) { return std::to_wstring(e.group); },
             [](const Entry& a, const Entry& b) { return Order(a.group, b.group); }},
            {L"Name", ColumnAlign::kLeft, 100, [](const Entry& e) { return e.name; },
             [](const Entry& a, const Entry& b) { return CompareNoCase(a.name, b.name); }},
        }};
        return columns;
    }
};

using Keeper = RowKeeper<EntryTraits>;

void Fill(Keeper& keeper, const std::vector<std::array<int, 2>>& entries)
{
    const auto pass = keeper.BeginRefresh();
    ASSERT_TRUE(pass);
    for (const auto& [key, group] : entries) {
        auto row = keeper.FindOrInsert(key, [&](Entry& fresh) {
            fresh.key = key;
            fresh.group = group;
            fresh.name = key % 2 == 0 ? L"even" : L"Odd";
        });
        ASSERT_TRUE(row);
        keeper.Commit(row);
    }
    keeper.FinishRefresh();
}

std::vector<std::wstring> Keys(const ListView& list)
{
    std::vector<std::wstring> keys;
    for (int row = 0; row < list.RowCount(); ++row) keys.push_back(list.CellText(row, 0));
    return keys;
}

class ListCtrlViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame_ = new wxFrame(nullptr, wxID_ANY, "list", wxDefaultPosition, wxSize(400, 300));
        control_ = new VirtualListCtrl(frame_, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_SINGLE_SEL);
        frame_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { ++selectionEvents_; });
        frame_->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent&) { ++selectionEvents_; });
        frame_->Show();
        view_ = std::make_unique<ListCtrlView>(control_);
        shown_ = std::make_unique<Keeper>(*view_);
        memory_ = std::make_unique<Keeper>(memoryList_);
        shown_->InsertColumns();
        memory_->InsertColumns();
    }
    void TearDown() override
    {
        shown_.reset();
        memory_.reset();
        view_.reset();
        frame_->Destroy();
    }

    wxFrame* frame_ = nullptr;
    VirtualListCtrl* control_ = nullptr;
    int selectionEvents_ = 0;  // what the window heard
    std::unique_ptr<ListCtrlView> view_;
    MemoryListView memoryList_;
    std::unique_ptr<Keeper> shown_;
    std::unique_ptr<Keeper> memory_;
};

TEST_F(ListCtrlViewTest, SortsRowsThatCompareEqualTheWayTheInMemoryListDoes)
{
    std::vector<std::array<int, 2>> entries;
    for (int key = 0; key < 200; ++key) entries.push_back({(key * 37) % 200, key % 3});
    Fill(*shown_, entries);
    Fill(*memory_, entries);
    ASSERT_EQ(Keys(*view_), Keys(memoryList_));

    for (int column : {1, 1, 2, 1, 0, 2, 2}) {
        shown_->ClickHeader(column);
        memory_->ClickHeader(column);
        ASSERT_EQ(Keys(*view_), Keys(memoryList_)) << "after a click on column " << column;
    }
    // Every row's data is still its own record.
    for (int row = 0; row < view_->RowCount(); ++row)
        EXPECT_EQ(std::to_wstring(static_cast<const Entry*>(view_->RowData(row))->key), view_->CellText(row, 0));
}

TEST_F(ListCtrlViewTest, TheSelectedRowStaysSelectedThroughASort)
{
    Fill(*shown_, {{5, 1}, {3, 2}, {9, 0}, {1, 2}});
    shown_->Select(*shown_->Find(9));
    ASSERT_EQ(view_->SelectedRow(), 2);
    shown_->ClickHeader(0);
    EXPECT_EQ(view_->SelectedRow(), 3);
    EXPECT_EQ(shown_->Selected(), shown_->Find(9));
    shown_->ClickHeader(0);
    EXPECT_EQ(view_->SelectedRow(), 0);
    EXPECT_EQ(control_->GetSelectedItemCount(), 1);
}

TEST_F(ListCtrlViewTest, TheSelectionMovesWithItsRowThroughInsertsAndDeletesUnheard)
{
    Fill(*shown_, {{10, 0}, {20, 0}, {30, 0}});
    shown_->Select(*shown_->Find(20));
    ASSERT_EQ(view_->SelectedRow(), 1);
    const int heard = selectionEvents_;

    shown_->ClickHeader(0);  // sorted by key: new rows take their places
    Fill(*shown_, {{5, 0}, {7, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}});
    EXPECT_EQ(view_->SelectedRow(), 3);
    EXPECT_EQ(shown_->Selected(), shown_->Find(20));
    EXPECT_EQ(control_->GetSelectedItemCount(), 1);
    EXPECT_EQ(control_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED), 3);

    Fill(*shown_, {{10, 0}, {20, 0}, {40, 0}});  // rows above and below go
    EXPECT_EQ(view_->SelectedRow(), 1);
    EXPECT_EQ(shown_->Selected(), shown_->Find(20));
    EXPECT_EQ(selectionEvents_, heard) << "the selected process did not change";

    Fill(*shown_, {{10, 0}, {40, 0}});  // the selected row goes: nothing is selected
    EXPECT_EQ(view_->SelectedRow(), -1);
    EXPECT_EQ(control_->GetSelectedItemCount(), 0);
    Fill(*shown_, {});
    EXPECT_EQ(control_->GetItemCount(), 0);
    EXPECT_EQ(view_->SelectedRow(), -1);
}

TEST_F(ListCtrlViewTest, TheControlPaintsTheTextsTheRowsHold)
{
    Fill(*shown_, {{1, 4}, {2, 5}});
    ASSERT_EQ(control_->GetItemCount(), 2);
    view_->SetCellText(1, 2, L"caf\u00e9 \u4e2d");
    EXPECT_EQ(control_->GetItemText(1, 2), wxString(L"caf\u00e9 \u4e2d"));
    EXPECT_EQ(view_->CellText(1, 2), L"caf\u00e9 \u4e2d");
    EXPECT_EQ(control_->GetItemText(0, 1), "4");
    view_->SetCellText(0, 7, L"no such column");
    EXPECT_EQ(view_->CellText(0, 7), L"");
    // No image list: the control leaves no room for an image.
    wxListItem item;
    item.SetId(0);
    item.SetMask(wxLIST_MASK_IMAGE);
    ASSERT_TRUE(control_->GetItem(item));
    EXPECT_EQ(item.GetImage(), -1);
}

TEST_F(ListCtrlViewTest, ShowsTheSortOrderOnTheHeader)
{
    Fill(*shown_, {{1, 0}, {2, 0}});
    EXPECT_FALSE(control_->IsAscendingSortIndicator() && control_->GetSortIndicator() >= 0);
    shown_->ClickHeader(2);
    EXPECT_EQ(control_->GetSortIndicator(), 2);
    EXPECT_TRUE(control_->IsAscendingSortIndicator());
    shown_->ClickHeader(2);
    EXPECT_EQ(control_->GetSortIndicator(), 2);
    EXPECT_FALSE(control_->IsAscendingSortIndicator());
}

TEST_F(ListCtrlViewTest, ScalesClassicWidthsAndFitsAutomaticOnesToTheTitle)
{
    EXPECT_EQ(control_->GetColumnWidth(0), ScaleClassicWidth(control_, 70));
    EXPECT_EQ(control_->GetColumnWidth(2), ScaleClassicWidth(control_, 100));
    EXPECT_GE(control_->GetColumnWidth(1), control_->GetTextExtent("Group").x);
}

TEST_F(ListCtrlViewTest, ImagesFollowTheirRowsAndCompactWhenOneGoes)
{
    platform::Image red{2, 2, std::vector<uint32_t>(4, 0xFFFF0000u)};
    platform::Image green{2, 2, std::vector<uint32_t>(4, 0xFF00FF00u)};
    ASSERT_EQ(view_->AddImage(red), 0);
    ASSERT_EQ(view_->AddImage(green), 1);
    ASSERT_EQ(view_->AddImage(red), 2);
    EXPECT_EQ(view_->AddImage(platform::Image{2, 2, {1, 2}}), -1) << "too few pixels";

    {
        const auto pass = shown_->BeginRefresh();
        for (int key : {1, 2, 3}) {
            auto row = shown_->FindOrInsert(key, [&](Entry& fresh) {
                fresh.key = key;
                return key - 1;  // images 0, 1, 2
            });
            shown_->Commit(row);
        }
        shown_->FinishRefresh();
    }
    EXPECT_EQ(view_->RowImage(1), 1);
    EXPECT_EQ(view_->RowImage(2), 2);

    {
        const auto next = shown_->BeginRefresh();
        for (int key : {1, 3}) {
            auto row = shown_->FindOrInsert(key, [](Entry&) { return 0; });
            shown_->Commit(row);
        }
        shown_->FinishRefresh();
    }
    EXPECT_EQ(view_->ImageCount(), 2);
    EXPECT_EQ(view_->RowImage(0), 0);
    EXPECT_EQ(view_->RowImage(1), 1) << "the row of image 2 now shows image 1";
}

// Each list in the page and dialog templates is made as the program's own
// list, whose rows the program keeps: a template that named the plain control
// would give a list that shows nothing.
int CountLists(wxWindow* window, std::vector<std::string>& wrong)
{
    int lists = 0;
    for (wxWindow* child : window->GetChildren()) {
        // Asked by class name: a cast of a window of another class is not allowed.
        if (child->IsKindOf(wxCLASSINFO(wxListCtrl))) {
            ++lists;
            if (!child->IsKindOf(wxCLASSINFO(VirtualListCtrl)) || !child->HasFlag(wxLC_VIRTUAL))
                wrong.push_back(std::to_string(child->GetId()));
        }
        lists += CountLists(child, wrong);
    }
    return lists;
}

TEST(ListTemplates, EveryListIsOneWhoseRowsTheProgramKeeps)
{
    auto* frame = new wxFrame(nullptr, wxID_ANY, "templates");
    for (const char* name : {"IDD_PROCESSESDLG", "IDD_TASKSDLG", "IDD_SERVICESDLG", "IDD_DEVICESDLG", "IDD_NETWORKDLG"}) {
        auto* panel = new wxPanel;
        ASSERT_TRUE(wxXmlResource::Get()->LoadPanel(panel, frame, name)) << name;
        std::vector<std::string> wrong;
        EXPECT_EQ(CountLists(panel, wrong), 1) << name;
        EXPECT_TRUE(wrong.empty()) << name << ": " << (wrong.empty() ? "" : wrong[0]);
        panel->Destroy();
    }
    for (const char* name : {"IDD_THREADSDLG", "IDD_HEAPDLG", "IDD_MODULESDLG", "IDD_MODULEUSAGEDLG"}) {
        wxDialog dialog;
        ASSERT_TRUE(wxXmlResource::Get()->LoadDialog(&dialog, frame, name)) << name;
        std::vector<std::string> wrong;
        EXPECT_EQ(CountLists(&dialog, wrong), 1) << name;
        EXPECT_TRUE(wrong.empty()) << name << ": " << (wrong.empty() ? "" : wrong[0]);
    }
    frame->Destroy();
}

}  // namespace
}  // namespace kestrun
