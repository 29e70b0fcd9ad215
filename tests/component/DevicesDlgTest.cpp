// The Devices page as a real window on the simulated device: its template, the
// rows and columns it shows, the Deactivate button following the selection, a
// header click, the refresh tick, and the layout on a size change.
#include "display/core/MessageBox.h"
#include "pages/DevicesDlg.h"
#include "pages/core/Ticks.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include <vector>

namespace kestrun {
namespace {

class DevicesWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = platform::sim::CreateSimPlatformForTest();
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return answer_;
        });
        frame_ = new wxFrame(nullptr, wxID_ANY, "page", wxDefaultPosition, wxSize(800, 600));
        page_ = new CDevicesDlg(new wxPanel(frame_), sim_.get());
        frame_->Show();
        page_->Show();
    }
    // The page's window changes size by (dx, dy), as the tab control makes it,
    // and the view tells it so.
    void GrowPage(int dx, int dy)
    {
        page_->SetSize(page_->GetSize() + wxSize(dx, dy));
        page_->Resize(dx, dy);
    }
    void TearDown() override
    {
        frame_->Destroy();
        wxTheApp->ProcessPendingEvents();
        SetMessageBoxHandler(previous_);
    }

    wxListCtrl& list() const { return *page_->listControl(); }
    std::vector<wxString> Column(int column) const
    {
        std::vector<wxString> texts;
        for (long row = 0; row < list().GetItemCount(); ++row) texts.push_back(list().GetItemText(row, column));
        return texts;
    }
    void SelectRow(long row) { list().SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED); }
    void Click(wxButton* button)
    {
        wxCommandEvent click(wxEVT_BUTTON, button->GetId());
        click.SetEventObject(button);
        button->GetEventHandler()->ProcessEvent(click);
    }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    wxFrame* frame_ = nullptr;
    CDevicesDlg* page_ = nullptr;
    MessageBoxHandler previous_;
    std::vector<MessageBoxRequest> boxes_;
    int answer_ = kIdNo;
};

TEST_F(DevicesWindow, TemplateHoldsTheTextTheListAndADisabledDeactivateButton)
{
    ASSERT_NE(page_->FindWindow(1097), nullptr);
    EXPECT_EQ(page_->FindWindow(1097), page_->listControl());
    ASSERT_NE(page_->deactivateButton(), nullptr);
    EXPECT_EQ(page_->FindWindow(1098), page_->deactivateButton());
    EXPECT_EQ(page_->deactivateButton()->GetLabel(), "&Deactivate");
    EXPECT_FALSE(page_->deactivateButton()->IsEnabled());
    EXPECT_TRUE(list().InReportView());
    EXPECT_NE(list().GetWindowStyle() & wxLC_SINGLE_SEL, 0);
    bool hint = false;
    for (wxWindow* child : page_->GetChildren())
        if (child->IsKindOf(wxCLASSINFO(wxStaticText)))
            hint = hint || child->GetLabel() == "Double-click on device to show the file properties.";
    EXPECT_TRUE(hint);
    // The button sits below the list, at its left edge.
    EXPECT_GT(page_->deactivateButton()->GetRect().GetTop(), list().GetRect().GetBottom());
    EXPECT_EQ(page_->deactivateButton()->GetRect().GetLeft(), list().GetRect().GetLeft());
}

TEST_F(DevicesWindow, ShowingThePageFillsTheRowsAndTheEightColumns)
{
    ASSERT_TRUE(page_->OnShowPage());
    ASSERT_EQ(list().GetColumnCount(), 8);
    const char* titles[] = {"Name", "Module", "Order", "IRQ", "I/O Base", "Mem Base", "Power State", "Registry Key"};
    for (int c = 0; c < 8; ++c) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
        ASSERT_TRUE(list().GetColumn(c, column));
        EXPECT_EQ(column.GetText(), titles[c]);
        EXPECT_EQ(column.GetAlign(), c >= 2 && c <= 6 ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT) << c;
        // Columns from Order on fit at least their title.
        if (c >= 2) {
            EXPECT_GE(list().GetColumnWidth(c), list().GetTextExtent(titles[c]).GetWidth()) << titles[c];
        }
    }
    EXPECT_EQ(Column(0), (std::vector<wxString>{"COM1:", "COM2:", "NDS0:", "PCC1:", "KBD1:", "AFD1:", "DSK1:"}));
    EXPECT_EQ(Column(1)[2], "ne2000.dll");
    EXPECT_EQ(Column(3)[4], "1") << "SysIntr 17";
    EXPECT_EQ(Column(4)[2], "300,310");
    EXPECT_EQ(Column(6)[5], "(N/A)");
    EXPECT_EQ(Column(7)[0], "Drivers\\BuiltIn\\Serial");
}

TEST_F(DevicesWindow, TheRegistryKeyColumnFillsTheRestOfTheList)
{
    ASSERT_TRUE(page_->OnShowPage());
    auto right = [this] {
        int sum = 0;
        for (int c = 0; c < list().GetColumnCount(); ++c) sum += list().GetColumnWidth(c);
        return sum;
    };
    GrowPage(800, 0);
    ASSERT_GT(list().GetClientSize().GetWidth(), right() - list().GetColumnWidth(7) + list().GetTextExtent("Registry Key").GetWidth());
    EXPECT_EQ(right(), list().GetClientSize().GetWidth());
    GrowPage(200, 0);
    EXPECT_EQ(right(), list().GetClientSize().GetWidth()) << "and follows the list as it grows";
    GrowPage(-1000, 0);
    EXPECT_GE(list().GetColumnWidth(7), list().GetTextExtent("Registry Key").GetWidth()) << "never narrower than its title";
}

TEST_F(DevicesWindow, DeactivateFollowsTheSelectionAndAsksFirst)
{
    ASSERT_TRUE(page_->OnShowPage());
    SelectRow(0);
    EXPECT_TRUE(page_->deactivateButton()->IsEnabled());
    list().SetItemState(0, 0, wxLIST_STATE_SELECTED);
    EXPECT_FALSE(page_->deactivateButton()->IsEnabled());

    SelectRow(1);
    answer_ = kIdNo;
    Click(page_->deactivateButton());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(list().GetItemCount(), 7);

    answer_ = kIdYes;
    Click(page_->deactivateButton());
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(Column(0), (std::vector<wxString>{"COM1:", "NDS0:", "PCC1:", "KBD1:", "AFD1:", "DSK1:"}));
    EXPECT_FALSE(page_->deactivateButton()->IsEnabled()) << "the selected row went";
}

TEST_F(DevicesWindow, AHeaderClickSortsAndTheTickRefreshes)
{
    ASSERT_TRUE(page_->OnShowPage());
    wxListEvent click(wxEVT_LIST_COL_CLICK, 1097);
    click.m_col = 6;  // Power State
    click.SetEventObject(&list());
    list().GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(Column(0).front(), "AFD1:") << "(N/A) first";
    EXPECT_EQ(Column(0).back(), "DSK1:") << "D2 last";

    ASSERT_TRUE(sim_->device().SetDevicePower(L"DSK1:", 0));
    page_->PostTimer(kTickUpdateTimer);
    wxTheApp->ProcessPendingEvents();
    // The power state is read at every tick, and DSK1: leaves the end for its new place.
    EXPECT_EQ(Column(0).back(), "COM2:");
    const long dsk = list().FindItem(-1, "DSK1:");
    ASSERT_GE(dsk, 1);
    EXPECT_EQ(list().GetItemText(dsk, 6), "D0 (Full On)");
    EXPECT_EQ(list().GetItemText(dsk - 1, 6), "D0 (Full On)");
}

TEST_F(DevicesWindow, TheListGrowsAndTheButtonMovesDownWithThePage)
{
    ASSERT_TRUE(page_->OnShowPage());
    const wxRect list0 = list().GetRect();
    const wxRect button0 = page_->deactivateButton()->GetRect();
    GrowPage(40, 30);
    EXPECT_EQ(list().GetRect().GetWidth(), list0.GetWidth() + 40);
    EXPECT_EQ(list().GetRect().GetHeight(), list0.GetHeight() + 30);
    EXPECT_EQ(page_->deactivateButton()->GetRect().GetTopLeft(), button0.GetTopLeft() + wxPoint(0, 30));
    EXPECT_EQ(page_->deactivateButton()->GetRect().GetSize(), button0.GetSize());

    page_->OnHidePage();
    GrowPage(10, 10);
    EXPECT_EQ(list().GetRect().GetWidth(), list0.GetWidth() + 40) << "hidden: only added up";
    page_->OnShowPage();
    EXPECT_EQ(list().GetRect().GetWidth(), list0.GetWidth() + 50);
}

}  // namespace
}  // namespace kestrun
