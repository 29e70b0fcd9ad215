// The Services page as a real window on the simulated device: its template, the
// rows it shows, the buttons and description box following the selection, Stop
// through its button, and how the controls follow size changes.
#include "display/core/MessageBox.h"
#include "pages/ServicesDlg.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/textctrl.h>

#include <map>

namespace kestrun {
namespace {

class ServicesPageWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = platform::sim::CreateSimPlatformForTest();  // the built-in device and its six services
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return kIdYes;
        });
        frame_ = new wxFrame(nullptr, wxID_ANY, "page", wxDefaultPosition, wxSize(800, 600));
        page_ = new CServicesDlg(new wxPanel(frame_), sim_.get());
        frame_->Show();
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

    template <class T>
    T* Control(int id) const { return wxDynamicCast(page_->FindWindow(id), T); }

    wxString Cell(long row, int column) const
    {
        wxListItem item;
        item.SetId(row);
        item.SetColumn(column);
        item.SetMask(wxLIST_MASK_TEXT);
        page_->listControl()->GetItem(item);
        return item.GetText();
    }
    long RowOf(const wxString& prefix) const
    {
        for (long row = 0; row < page_->listControl()->GetItemCount(); ++row)
            if (Cell(row, kServiceColPrefix) == prefix) return row;
        return -1;
    }
    void Select(long row) { page_->listControl()->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED); }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    wxFrame* frame_ = nullptr;
    CServicesDlg* page_ = nullptr;
    std::vector<MessageBoxRequest> boxes_;
    MessageBoxHandler previous_;
};

TEST_F(ServicesPageWindow, TemplateHoldsTheListTheDescriptionAndTheButtons)
{
    ASSERT_NE(Control<wxListCtrl>(CServicesDlg::kIdcServiceList), nullptr);
    ASSERT_NE(Control<wxTextCtrl>(CServicesDlg::kIdcDescription), nullptr);
    EXPECT_FALSE(Control<wxTextCtrl>(CServicesDlg::kIdcDescription)->IsEditable());
    wxButton* start = Control<wxButton>(CServicesDlg::kIdcStart);
    wxButton* stop = Control<wxButton>(CServicesDlg::kIdcStop);
    wxButton* refresh = Control<wxButton>(CServicesDlg::kIdcRefresh);
    ASSERT_NE(start, nullptr);
    ASSERT_NE(stop, nullptr);
    ASSERT_NE(refresh, nullptr);
    EXPECT_EQ(start->GetLabel(), "&Start");
    EXPECT_EQ(stop->GetLabel(), "&Stop");
    EXPECT_FALSE(start->IsEnabled());
    EXPECT_FALSE(stop->IsEnabled());
    EXPECT_FALSE(refresh->IsShown()) << "never shown";
    EXPECT_EQ(page_->listControl()->GetColumnCount(), 5);
    wxListItem order;
    page_->listControl()->GetColumn(kServiceColOrder, order);
    EXPECT_EQ(order.GetText(), "Order");
    EXPECT_EQ(order.GetAlign(), wxLIST_FORMAT_RIGHT);
    EXPECT_LT(start->GetRect().GetRight(), stop->GetRect().GetLeft());
    EXPECT_LT(page_->listControl()->GetRect().GetBottom(), Control<wxTextCtrl>(CServicesDlg::kIdcDescription)->GetRect().GetBottom());
}

TEST_F(ServicesPageWindow, ShowingThePageFillsTheRowsAndTheSelectionDrivesButtonsAndDescription)
{
    EXPECT_EQ(page_->listControl()->GetItemCount(), 0) << "a hidden page reads nothing";
    page_->OnShowPage();
    const size_t services = sim_->device().services().size();
    ASSERT_EQ(static_cast<size_t>(page_->listControl()->GetItemCount()), services);
    const long http = RowOf("HTP0:");
    ASSERT_GE(http, 0);
    EXPECT_EQ(Cell(http, kServiceColModule), "httpd.dll");
    EXPECT_EQ(Cell(http, kServiceColState), "Running");

    Select(http);
    wxTheApp->ProcessPendingEvents();
    EXPECT_TRUE(Control<wxButton>(CServicesDlg::kIdcStop)->IsEnabled());
    EXPECT_FALSE(Control<wxButton>(CServicesDlg::kIdcStart)->IsEnabled());
    const wxString description = Control<wxTextCtrl>(CServicesDlg::kIdcDescription)->GetValue();
    EXPECT_FALSE(description.empty());

    // Stop through the button: the question is answered Yes, the row shows Off.
    wxCommandEvent click(wxEVT_BUTTON, CServicesDlg::kIdcStop);
    click.SetEventObject(Control<wxButton>(CServicesDlg::kIdcStop));
    Control<wxButton>(CServicesDlg::kIdcStop)->GetEventHandler()->ProcessEvent(click);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(Cell(RowOf("HTP0:"), kServiceColState), "Off");
    EXPECT_TRUE(Control<wxButton>(CServicesDlg::kIdcStart)->IsEnabled());
    EXPECT_FALSE(Control<wxButton>(CServicesDlg::kIdcStop)->IsEnabled());

    page_->listControl()->SetItemState(RowOf("HTP0:"), 0, wxLIST_STATE_SELECTED);
    wxTheApp->ProcessPendingEvents();
    EXPECT_FALSE(Control<wxButton>(CServicesDlg::kIdcStart)->IsEnabled());
    EXPECT_TRUE(Control<wxTextCtrl>(CServicesDlg::kIdcDescription)->GetValue().empty());
}

TEST_F(ServicesPageWindow, AShownPageGrowsItsListAndMovesItsDescriptionAndButtons)
{
    page_->OnShowPage();
    const wxRect list = page_->listControl()->GetRect();
    const wxRect description = Control<wxTextCtrl>(CServicesDlg::kIdcDescription)->GetRect();
    const wxRect start = Control<wxButton>(CServicesDlg::kIdcStart)->GetRect();
    GrowPage(20, 30);
    EXPECT_EQ(page_->listControl()->GetRect().GetSize(), list.GetSize() + wxSize(20, 30));
    const wxRect movedDescription = Control<wxTextCtrl>(CServicesDlg::kIdcDescription)->GetRect();
    EXPECT_EQ(movedDescription.GetTopLeft(), description.GetTopLeft() + wxPoint(0, 30));
    EXPECT_EQ(movedDescription.GetWidth(), description.GetWidth() + 20);
    EXPECT_EQ(movedDescription.GetHeight(), description.GetHeight());
    EXPECT_EQ(Control<wxButton>(CServicesDlg::kIdcStart)->GetRect(), wxRect(start.GetTopLeft() + wxPoint(0, 30), start.GetSize()));
}

}  // namespace
}  // namespace kestrun
