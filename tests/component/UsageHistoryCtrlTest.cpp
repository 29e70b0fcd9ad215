// The usage history graph painted into a bitmap and read back pixel by pixel.
#include "display/UsageHistoryCtrl.h"

#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <vector>

namespace kestrun {
namespace {

bool IsGrid(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) == 192 && image.GetGreen(x, y) == 192 && image.GetBlue(x, y) == 192;
}

bool IsCurve(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) == 0 && image.GetGreen(x, y) == 255 && image.GetBlue(x, y) == 0;
}

bool IsWhite(const wxImage& image, int x, int y)
{
    return image.GetRed(x, y) == 255 && image.GetGreen(x, y) == 255 && image.GetBlue(x, y) == 255;
}

class UsageHistory : public ::testing::Test {
protected:
    void SetUp() override { frame = new wxFrame(nullptr, wxID_ANY, "history"); }
    void TearDown() override { frame->Destroy(); }

    CUsageHistoryCtrl* Graph(int sampleCount = 0)
    {
        return new CUsageHistoryCtrl(frame, wxID_ANY, wxDefaultPosition, wxSize(100, 40), wxBORDER_NONE, sampleCount);
    }

    static wxImage Paint(CUsageHistoryCtrl* graph, int width, int height)
    {
        wxBitmap bitmap(width, height, 24);
        {
            wxMemoryDC dc(bitmap);
            dc.SetBackground(*wxBLACK_BRUSH);
            dc.Clear();
            graph->Draw(dc, wxRect(0, 0, width, height));
        }
        return bitmap.ConvertToImage();
    }

    // Rows of column x that show the grid colour.
    static std::vector<int> GridRowsAt(const wxImage& image, int x)
    {
        std::vector<int> rows;
        for (int y = 0; y < image.GetHeight(); ++y)
            if (IsGrid(image, x, y)) rows.push_back(y);
        return rows;
    }

    // Columns of row y that show the grid colour.
    static std::vector<int> GridColumnsAt(const wxImage& image, int y)
    {
        std::vector<int> columns;
        for (int x = 0; x < image.GetWidth(); ++x)
            if (IsGrid(image, x, y)) columns.push_back(x);
        return columns;
    }

    static int CurvePixels(const wxImage& image)
    {
        int count = 0;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x) count += IsCurve(image, x, y);
        return count;
    }

    wxFrame* frame = nullptr;
};

TEST_F(UsageHistory, GraphTwentyFivePixelsHighSpreadsItsRemainderOverTheLines)
{
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(25), (std::vector<int>{6, 12, 18}));
    const wxImage image = Paint(Graph(), 100, 25);
    EXPECT_EQ(GridRowsAt(image, 7), (std::vector<int>{6, 12, 18}));
}

TEST_F(UsageHistory, GraphOneHundredPixelsHighHasALineEveryTenPixels)
{
    const std::vector<int> expected{10, 20, 30, 40, 50, 60, 70, 80, 90};
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(100), expected);
    EXPECT_EQ(GridRowsAt(Paint(Graph(), 100, 100), 7), expected);
}

TEST_F(UsageHistory, BandCountFollowsTheHeight)
{
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(19), std::vector<int>{});         // one band
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(20), (std::vector<int>{5, 10, 15}));
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(79), (std::vector<int>{20, 40, 60}));  // rest 3, every 1
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(83).size(), 9u);
    EXPECT_EQ(CUsageHistoryCtrl::GridRows(83), (std::vector<int>{8, 16, 25, 33, 41, 50, 58, 66, 75}));
}

TEST_F(UsageHistory, VerticalLinesStartFifteenPixelsRightOfTheLabelStrip)
{
    CUsageHistoryCtrl* graph = Graph();
    graph->SetLabelWidth(40);
    std::vector<int> expected;
    for (int x = 55; x <= 295; x += 15) expected.push_back(x);
    ASSERT_EQ(expected.size(), 17u);
    EXPECT_EQ(CUsageHistoryCtrl::GridColumns(40, 300), expected);
    const wxImage image = Paint(graph, 300, 25);
    EXPECT_EQ(GridColumnsAt(image, 3), expected);  // row 3 is no horizontal line
}

TEST_F(UsageHistory, LabelWidthFortyAndWidthThreeHundredShowEightySevenSamples)
{
    CUsageHistoryCtrl* graph = Graph();
    graph->SetLabelWidth(40);
    EXPECT_EQ(graph->CurvePoints(300, 25).size(), 87u);

    // The 87th newest sample is drawn and counts for the peak; the 88th does not.
    graph->AddValue(70);
    for (int i = 0; i < 86; ++i) graph->AddValue(10);
    Paint(graph, 300, 25);
    EXPECT_EQ(graph->peakValue(), 70.0);
    graph->AddValue(10);
    Paint(graph, 300, 25);
    EXPECT_EQ(graph->peakValue(), 10.0);
}

TEST_F(UsageHistory, SamplesSitThreePixelsApartFromTheRightEdge)
{
    CUsageHistoryCtrl* graph = Graph();
    graph->AddValue(25);
    graph->AddValue(50);  // newest
    const wxImage image = Paint(graph, 60, 102);  // plot height 100: one pixel per percent
    EXPECT_TRUE(IsCurve(image, 58, 52));
    EXPECT_TRUE(IsCurve(image, 55, 77));
    const std::vector<wxPoint> points = graph->CurvePoints(60, 102);
    ASSERT_GE(points.size(), 3u);
    EXPECT_EQ(points[0], wxPoint(58, 52));
    EXPECT_EQ(points[1], wxPoint(55, 77));
    EXPECT_EQ(points[2], wxPoint(52, 102));  // zero lies on the row below the client area
}

TEST_F(UsageHistory, ASampleAboveFullScaleIsDrawnOnRowTwoButCountsInThePeak)
{
    CUsageHistoryCtrl* graph = Graph();
    graph->AddValue(100);
    graph->AddValue(150);
    const wxImage image = Paint(graph, 60, 40);
    EXPECT_TRUE(IsCurve(image, 58, 2));
    EXPECT_TRUE(IsCurve(image, 55, 2));
    EXPECT_FALSE(IsCurve(image, 58, 1));
    EXPECT_FALSE(IsCurve(image, 58, 0));
    EXPECT_EQ(graph->peakValue(), 150.0);
}

TEST_F(UsageHistory, FullScaleZeroDrawsNoCurveAndKeepsThePeak)
{
    CUsageHistoryCtrl* graph = Graph();
    graph->AddValue(40);
    Paint(graph, 60, 40);
    ASSERT_EQ(graph->peakValue(), 40.0);

    graph->SetMaxValue(0.0);
    graph->AddValue(90);
    const wxImage image = Paint(graph, 60, 40);
    EXPECT_EQ(CurvePixels(image), 0);
    EXPECT_EQ(graph->peakValue(), 40.0);
    EXPECT_EQ(GridRowsAt(image, 7), (std::vector<int>{10, 20, 30}));  // background and grid still drawn
}

TEST_F(UsageHistory, AFreshGraphShowsNoCurve)
{
    CUsageHistoryCtrl* graph = Graph();
    EXPECT_EQ(CurvePixels(Paint(graph, 100, 40)), 0);
    EXPECT_EQ(graph->peakValue(), 0.0);
}

TEST_F(UsageHistory, TheRingOverwritesTheOldestSamplesAndDrawsTheSameForm)
{
    CUsageHistoryCtrl* graph = Graph(10);
    ASSERT_TRUE(graph->valid());
    for (int i = 1; i <= 25; ++i) EXPECT_TRUE(graph->AddValue(i));
    EXPECT_EQ(graph->newest(), 5);  // the first sample went to index 1
    EXPECT_EQ(graph->Sample(0), 25.0);
    EXPECT_EQ(graph->Sample(9), 16.0);
    EXPECT_EQ(graph->Sample(10), 25.0);

    // The graph is wider than the ring: the curve walks round it again.
    const std::vector<wxPoint> points = graph->CurvePoints(100, 102);
    ASSERT_EQ(points.size(), 33u);
    for (size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(points[k].x, 98 - 3 * static_cast<int>(k));
        EXPECT_EQ(points[k].y, 102 - static_cast<int>(graph->Sample(static_cast<int>(k)))) << "sample " << k;
    }
    EXPECT_EQ(graph->peakValue(), 25.0);
}

TEST_F(UsageHistory, TheRingIsSizedToTheScreenWidth)
{
    CUsageHistoryCtrl* graph = Graph();
    EXPECT_TRUE(graph->valid());
    EXPECT_EQ(graph->sampleCount(), wxSystemSettings::GetMetric(wxSYS_SCREEN_X));
}

TEST_F(UsageHistory, LabelsGetAWhiteSeparatorAndTheirCountIsKeptWithinTen)
{
    CUsageHistoryCtrl* graph = Graph();
    graph->SetLabelWidth(30);
    // Height 50: grid rows 12, 25 and 37 run across the separator.
    EXPECT_FALSE(IsWhite(Paint(graph, 120, 50), 30, 20));  // no labels, no separator
    for (auto& label : graph->m_labels) label = "9";
    EXPECT_TRUE(graph->SetLabelCount(25));  // more lines than it holds: shows ten
    const wxImage image = Paint(graph, 120, 50);
    EXPECT_TRUE(IsWhite(image, 30, 20));
    EXPECT_TRUE(IsWhite(image, 30, 1));
    EXPECT_FALSE(IsWhite(image, 30, 25));
}

}  // namespace
}  // namespace kestrun
