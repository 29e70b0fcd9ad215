// The System Performance page as a real window: its template, what it does with
// the loads while shown and hidden, and how it follows size changes.
#include "display/GradientProgressCtrl.h"
#include "display/UsageHistoryCtrl.h"
#include "pages/SystemDlg.h"

#include <gtest/gtest.h>

#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include <map>

namespace kestrun {
namespace {

constexpr int kAllControls[] = {1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029,
                                1030, 1031, 1032, 1033, 1034, 1035, 1036, 1037, 1038};

class SystemPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = new wxFrame(nullptr, wxID_ANY, "page", wxDefaultPosition, wxSize(800, 600));
        // On a panel of its own, so that nothing but the test sizes the page.
        page = new CSystemDlg(new wxPanel(frame), nullptr);
    }

    // The page's window grows by (dx, dy), as the tab control makes it, and the
    // view tells it so.
    void GrowPage(int dx, int dy)
    {
        page->SetSize(page->GetSize() + wxSize(dx, dy));
        page->Resize(dx, dy);
    }
    void TearDown() override { frame->Destroy(); }

    std::map<int, wxRect> Rects() const
    {
        std::map<int, wxRect> rects;
        for (int id : kAllControls) rects[id] = page->FindWindow(id)->GetRect();
        return rects;
    }

    wxFrame* frame = nullptr;
    CSystemDlg* page = nullptr;
};

TEST_F(SystemPage, TemplateHoldsEveryControlWithGaugesAndHistoriesInPlaceOfThePlaceholders)
{
    for (int id : kAllControls) ASSERT_NE(page->FindWindow(id), nullptr) << "control " << id;
    EXPECT_EQ(page->FindWindow(1027), page->cpuGauge());
    EXPECT_EQ(page->FindWindow(1028), page->memoryGauge());
    EXPECT_EQ(page->FindWindow(1021), page->cpuHistory());
    EXPECT_EQ(page->FindWindow(1022), page->memoryHistory());
    EXPECT_NE(wxDynamicCast(page->FindWindow(1031), wxStaticBox), nullptr);
    EXPECT_EQ(wxDynamicCast(page->FindWindow(1031), wxStaticBox)->GetLabel(), "CPU Usage");
    EXPECT_EQ(wxDynamicCast(page->FindWindow(1036), wxStaticBox)->GetLabel(), "Program Memory (kB)");
    EXPECT_EQ(wxDynamicCast(page->FindWindow(1023), wxStaticText)->GetLabel(), "#");

    // Each gauge sits where its template placed it: inside its group, the upper one above the lower one.
    const auto rects = Rects();
    EXPECT_TRUE(rects.at(1031).Contains(rects.at(1027)));
    EXPECT_TRUE(rects.at(1032).Contains(rects.at(1028)));
    EXPECT_TRUE(rects.at(1029).Contains(rects.at(1021)));
    EXPECT_LT(rects.at(1027).GetBottom(), rects.at(1028).GetTop());
}

TEST_F(SystemPage, GaugesRunFromGreenToRedWithThePercentageShown)
{
    for (CGradientProgressCtrl* gauge : {page->cpuGauge(), page->memoryGauge()}) {
        EXPECT_EQ(gauge->m_startColor, wxColour(0, 255, 0));
        EXPECT_EQ(gauge->m_endColor, wxColour(255, 0, 0));
        EXPECT_TRUE(gauge->m_showPercent);
        EXPECT_EQ(gauge->GetStep(), 1);
        EXPECT_TRUE(gauge->HasFlag(wxGA_VERTICAL));
    }
}

TEST_F(SystemPage, HistoriesGrowWhileHiddenButGaugesDoNot)
{
    page->SetUsage(30, 40);
    page->SetUsage(35, 45);
    EXPECT_EQ(page->cpuGauge()->GetPos(), 0);
    EXPECT_EQ(page->memoryGauge()->GetPos(), 0);
    EXPECT_EQ(page->cpuHistory()->newest(), 2);
    EXPECT_EQ(page->cpuHistory()->Sample(0), 35.0);
    EXPECT_EQ(page->cpuHistory()->Sample(1), 30.0);
    EXPECT_EQ(page->memoryHistory()->Sample(0), 45.0);

    page->OnShowPage();
    EXPECT_EQ(page->cpuGauge()->GetPos(), 0);  // the gauges catch up at the next tick
    page->SetUsage(60, 70);
    EXPECT_EQ(page->cpuGauge()->GetPos(), 60);
    EXPECT_EQ(page->memoryGauge()->GetPos(), 70);
    EXPECT_EQ(page->cpuHistory()->newest(), 3);

    page->OnHidePage();
    page->SetUsage(5, 6);
    EXPECT_EQ(page->cpuGauge()->GetPos(), 60);
    EXPECT_EQ(page->memoryHistory()->Sample(0), 6.0);
}

TEST_F(SystemPage, HiddenResizesAreAppliedOnceWhenShown)
{
    const auto before = Rects();
    GrowPage(10, 20);
    GrowPage(-4, 6);
    EXPECT_EQ(Rects(), before);  // nothing moves while hidden

    page->OnShowPage();  // laid out once for (6, 26): each gauge row grows by 13
    const auto after = Rects();
    for (int id : {1031, 1027}) {
        EXPECT_EQ(after.at(id).GetTopLeft(), before.at(id).GetTopLeft()) << id;
        EXPECT_EQ(after.at(id).height, before.at(id).height + 13) << id;
        EXPECT_EQ(after.at(id).width, before.at(id).width) << id;
    }
    for (int id : {1029, 1021}) {
        EXPECT_EQ(after.at(id).height, before.at(id).height + 13) << id;
        EXPECT_EQ(after.at(id).width, before.at(id).width + 6) << id;
    }
    for (int id : {1032, 1028}) {
        EXPECT_EQ(after.at(id).y, before.at(id).y + 13) << id;
        EXPECT_EQ(after.at(id).height, before.at(id).height + 13) << id;
    }
    for (int id : {1030, 1022}) {
        EXPECT_EQ(after.at(id).y, before.at(id).y + 13) << id;
        EXPECT_EQ(after.at(id).width, before.at(id).width + 6) << id;
    }
    for (int id : {1033, 1034, 1023, 1035, 1024, 1036, 1037, 1025, 1038, 1026}) {
        EXPECT_EQ(after.at(id).y, before.at(id).y + 26) << id;
        EXPECT_EQ(after.at(id).GetSize(), before.at(id).GetSize()) << id;
    }

    // Shown again later, nothing is pending any more.
    page->OnHidePage();
    page->OnShowPage();
    EXPECT_EQ(Rects(), after);
}

TEST_F(SystemPage, AShrinkOfThreePixelsMovesTheRowsByOne)
{
    page->OnShowPage();
    const auto before = Rects();
    GrowPage(0, -3);
    const auto after = Rects();
    EXPECT_EQ(after.at(1027).height, before.at(1027).height - 1);
    EXPECT_EQ(after.at(1028).y, before.at(1028).y - 1);
    EXPECT_EQ(after.at(1028).height, before.at(1028).height - 1);
    EXPECT_EQ(after.at(1026).y, before.at(1026).y - 3);
}

}  // namespace
}  // namespace kestrun
