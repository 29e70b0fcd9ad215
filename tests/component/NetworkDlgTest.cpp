// The Network page as a real window on the simulated device: its template, the
// rows its list shows, the history graph with its labels painted and read back,
// Auto Scale, the hidden path, the selected-interface title, sorting and resizing.
#include "display/UsageHistoryCtrl.h"
#include "pages/NetworkDlg.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/statbox.h>

namespace kestrun {
namespace {

constexpr char kDevice[] = R"({"interfaces": [
    {"index": 1, "name": "", "adapter": "LOOPBACK", "speed": 10000000, "status": 5},
    {"index": 2, "name": "", "adapter": "NE20001", "friendlyName": "LAN Adapter", "speed": 10000000, "status": 5,
     "inOctets": 1000, "outOctets": 500},
    {"index": 3, "name": "wlan0", "speed": 11000000, "status": 2}]})";

class NetworkWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        sim_ = platform::sim::CreateSimPlatformFromJson(kDevice, error);
        ASSERT_NE(sim_, nullptr) << error;
        frame_ = new wxFrame(nullptr, wxID_ANY, "page", wxDefaultPosition, wxSize(800, 600));
        page_ = new CNetworkDlg(new wxPanel(frame_), sim_.get(), &options_);
        frame_->Show();
    }
    // The page's window changes size by (dx, dy), as the tab control makes it,
    // and the view tells it so.
    void GrowPage(int dx, int dy)
    {
        page_->SetSize(page_->GetSize() + wxSize(dx, dy));
        page_->Resize(dx, dy);
    }
    void TearDown() override { frame_->Destroy(); }

    void Tick()
    {
        page_->PostTimer(1);
        wxTheApp->ProcessPendingEvents();
    }
    // One second in which the LAN adapter receives bytes.
    void Second(uint64_t bytes)
    {
        sim_->device().AdvanceTime(1000);
        ASSERT_TRUE(sim_->device().AddTraffic(2, bytes, 0));
    }
    wxString Cell(long row, int column) const { return page_->listControl()->GetItemText(row, column); }
    wxImage PaintGraph() const
    {
        const wxSize size = page_->history()->GetClientSize();
        wxBitmap bitmap(size.x, size.y, 24);
        {
            wxMemoryDC dc(bitmap);
            page_->history()->Draw(dc, wxRect(size));
        }
        return bitmap.ConvertToImage();
    }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    AppOptions options_;
    wxFrame* frame_ = nullptr;
    CNetworkDlg* page_ = nullptr;
};

TEST_F(NetworkWindow, TemplatePutsTheGraphInItsBoxAboveTheListOfSixteenColumns)
{
    EXPECT_EQ(page_->FindWindow(1040), page_->history());
    ASSERT_NE(page_->historyGroup(), nullptr);
    ASSERT_NE(page_->listControl(), nullptr);
    EXPECT_EQ(page_->historyGroup()->GetLabel(), "LAN Usage History");
    const wxRect group = page_->historyGroup()->GetRect();
    EXPECT_TRUE(group.Contains(page_->history()->GetRect()));
    EXPECT_GT(page_->listControl()->GetRect().y, group.GetBottom());
    wxListCtrl* list = page_->listControl();
    ASSERT_EQ(list->GetColumnCount(), 16);
    const char* titles[] = {"Name", "Status", "Speed", "Usage", "Bytes Sent", "Bytes Recv.", "Bytes/Interval", "Bytes",
                            "Unicasts/Interval", "Unicasts", "Non-Unicasts/Interval", "Non-Unicasts",
                            "Discarded/Interval", "Discarded", "Errors/Interval", "Errors"};
    for (int column = 0; column < 16; ++column) {
        wxListItem item;
        item.SetMask(wxLIST_MASK_TEXT);
        list->GetColumn(column, item);
        EXPECT_EQ(item.GetText(), titles[column]);
        EXPECT_GT(list->GetColumnWidth(column), 0) << titles[column];
    }
}

TEST_F(NetworkWindow, ShownItListsTheInterfacesAndDrawsTheirUsage)
{
    page_->OnShowPage();
    wxListCtrl* list = page_->listControl();
    ASSERT_EQ(list->GetItemCount(), 2) << "loopback is not listed";
    EXPECT_EQ(Cell(0, 0), "LAN Adapter");
    EXPECT_EQ(Cell(0, 1), "Operational");
    EXPECT_EQ(Cell(0, 2), "10 Mbit/s");
    EXPECT_EQ(Cell(0, 7), "1500");
    EXPECT_EQ(Cell(1, 0), "wlan0");
    EXPECT_EQ(Cell(1, 1), "Disconnected");
    EXPECT_EQ(Cell(1, 2), "11 Mbit/s");

    Second(937500);  // 75 % of the LAN adapter: (75 + 0) / 2 = 37.5 %
    Tick();
    EXPECT_EQ(Cell(0, 3), "75%");
    EXPECT_EQ(Cell(0, 6), "937500");
    EXPECT_EQ(page_->history()->Sample(0), 37.5);
    EXPECT_EQ(page_->history()->m_labels[0], "100%");
    EXPECT_EQ(page_->history()->m_labels[2], "50%");
    EXPECT_EQ(page_->history()->m_labels[4], "0%");

    const wxImage image = PaintGraph();
    const std::vector<wxPoint> points = page_->history()->CurvePoints(image.GetWidth(), image.GetHeight());
    ASSERT_FALSE(points.empty());
    const wxPoint newest = points.front();
    EXPECT_EQ(image.GetRed(newest.x, newest.y), 0);
    EXPECT_EQ(image.GetGreen(newest.x, newest.y), 255) << "the newest sample is drawn in green";
    EXPECT_NEAR(newest.y, image.GetHeight() - (image.GetHeight() - 2) * 0.375, 1.0);
    bool labelInk = false;  // the labels' text darkens the strip left of the graph
    for (int y = 0; y < image.GetHeight() && !labelInk; ++y)
        for (int x = 0; x < 30 && !labelInk; ++x) labelInk = image.GetRed(x, y) < 100 && image.GetGreen(x, y) < 100;
    EXPECT_TRUE(labelInk);
}

TEST_F(NetworkWindow, AutoScaleFollowsThePeakTheGraphLastDrew)
{
    options_.AutoScale = true;
    frame_->DestroyChildren();
    page_ = new CNetworkDlg(new wxPanel(frame_), sim_.get(), &options_);
    EXPECT_EQ(page_->history()->m_labels[0], "1%");
    EXPECT_EQ(page_->history()->m_labels[2], "0.5%");
    page_->OnShowPage();
    Second(80000);  // 6.4 % of the adapter: 3.2 % on average
    Tick();
    EXPECT_EQ(page_->history()->m_labels[0], "1%") << "the graph has not drawn the peak yet";
    PaintGraph();
    Tick();
    EXPECT_EQ(page_->history()->m_labels[0], "5%");
    EXPECT_EQ(page_->history()->m_labels[2], "2.5%");
}

TEST_F(NetworkWindow, HiddenTheHistoryRunsWithoutTouchingTheList)
{
    page_->UpdateHistory();
    Second(125000);
    page_->UpdateHistory();
    EXPECT_EQ(page_->history()->newest(), 2);
    EXPECT_DOUBLE_EQ(page_->history()->Sample(0), 5.0) << "10 % over two rows";
    EXPECT_EQ(page_->listControl()->GetItemCount(), 0);
    page_->OnShowPage();
    EXPECT_EQ(page_->listControl()->GetItemCount(), 2);
    EXPECT_EQ(page_->history()->newest(), 3) << "showing the page adds a sample too";
}

TEST_F(NetworkWindow, TheSelectedInterfaceNamesTheHistory)
{
    page_->OnShowPage();
    page_->ToggleSelectedInterfaceOnly();
    EXPECT_TRUE(page_->m_selectedInterfaceOnly);
    EXPECT_EQ(page_->historyGroup()->GetLabel(), "LAN Usage History") << "no row selected";
    page_->listControl()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    Second(125000);
    Tick();
    EXPECT_EQ(page_->historyGroup()->GetLabel(), "LAN Adapter LAN Usage History");
    Second(125000);
    Tick();
    EXPECT_DOUBLE_EQ(page_->history()->Sample(0), 10.0) << "the selected interface alone";
    page_->ToggleSelectedInterfaceOnly();
    EXPECT_EQ(page_->historyGroup()->GetLabel(), "LAN Usage History");
}

TEST_F(NetworkWindow, HeaderClicksSortTheRows)
{
    page_->OnShowPage();
    wxListEvent click(wxEVT_LIST_COL_CLICK, 1042);
    click.SetEventObject(page_->listControl());
    click.m_col = 2;  // Speed
    page_->listControl()->GetEventHandler()->ProcessEvent(click);
    page_->listControl()->GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(page_->model()->sortOrder(), -1);
    EXPECT_EQ(Cell(0, 0), "wlan0") << "11 Mbit/s first";
}

TEST_F(NetworkWindow, ResizesGiveTheGraphThreeQuartersOfTheHeight)
{
    page_->OnShowPage();
    const wxRect group = page_->historyGroup()->GetRect();
    const wxRect graph = page_->history()->GetRect();
    const wxRect list = page_->listControl()->GetRect();
    GrowPage(40, 41);  // q = 30
    EXPECT_EQ(page_->historyGroup()->GetRect(), wxRect(group.x, group.y, group.width + 40, group.height + 30));
    EXPECT_EQ(page_->history()->GetRect(), wxRect(graph.x, graph.y, graph.width + 40, graph.height + 30));
    EXPECT_EQ(page_->listControl()->GetRect(), wxRect(list.x, list.y + 30, list.width + 40, list.height + 11));
    GrowPage(0, -3);  // q = -2, truncated toward zero
    EXPECT_EQ(page_->history()->GetRect().height, graph.height + 28);
    EXPECT_EQ(page_->listControl()->GetRect().y, list.y + 28);
    EXPECT_EQ(page_->listControl()->GetRect().GetBottom(), list.GetBottom() + 38);
}

}  // namespace
}  // namespace kestrun
