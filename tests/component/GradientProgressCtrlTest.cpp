// The gradient gauge painted into a bitmap and read back pixel by pixel.
#include "display/GradientProgressCtrl.h"

#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <string>

namespace kestrun {
namespace {

// Never drawn by the gauge: a pixel left in it was not painted.
const wxColour kUnpainted(255, 0, 255);
const wxColour kBack(0, 0, 255);
const wxColour kGreen(0, 255, 0);
const wxColour kRed(255, 0, 0);

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Rgb& c)
    {
        return out << "RGB(" << c.r << "," << c.g << "," << c.b << ")";
    }
};

Rgb Of(const wxColour& c) { return {c.Red(), c.Green(), c.Blue()}; }

class GradientGauge : public ::testing::Test {
protected:
    void SetUp() override { frame = new wxFrame(nullptr, wxID_ANY, "gauge"); }
    void TearDown() override { frame->Destroy(); }

    CGradientProgressCtrl* Gauge(bool vertical)
    {
        auto* gauge = new CGradientProgressCtrl(frame, wxID_ANY, wxDefaultPosition, wxSize(40, 40),
                                                (vertical ? long{wxGA_VERTICAL} : long{wxGA_HORIZONTAL}) | wxBORDER_NONE);
        gauge->m_startColor = kGreen;
        gauge->m_endColor = kRed;
        gauge->m_backColor = kBack;
        return gauge;
    }

    // Paints the gauge at position pos into a width x height bitmap.
    wxImage Paint(CGradientProgressCtrl* gauge, int pos, int width, int height)
    {
        gauge->SetPos(pos);
        wxBitmap bitmap(width, height, 24);
        {
            wxMemoryDC dc(bitmap);
            dc.SetBackground(wxBrush(kUnpainted));
            dc.Clear();
            gauge->Draw(dc, wxRect(0, 0, width, height));
        }
        return bitmap.ConvertToImage();
    }

    static Rgb At(const wxImage& image, int x, int y)
    {
        return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
    }

    static int Count(const wxImage& image, const Rgb& colour)
    {
        int count = 0;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x) count += At(image, x, y) == colour;
        return count;
    }

    wxFrame* frame = nullptr;
};

TEST_F(GradientGauge, VerticalAtZeroShowsOnlyTheBackgroundWhenABandIsUnderOnePixel)
{
    // 255 bands over 100 pixels: band 0 is empty, so nothing of the gradient shows.
    const wxImage image = Paint(Gauge(true), 0, 20, 100);
    EXPECT_EQ(Count(image, Of(kBack)), 20 * 100);
}

TEST_F(GradientGauge, VerticalAtZeroDrawsBandZeroAtTheBottom)
{
    // 510 pixels: two pixels a band; band 0 in the start colour, everything above background.
    const wxImage image = Paint(Gauge(true), 0, 4, 510);
    for (int y = 0; y < 508; ++y) ASSERT_EQ(At(image, 1, y), Of(kBack)) << "row " << y;
    EXPECT_EQ(At(image, 1, 508), Of(kGreen));
    EXPECT_EQ(At(image, 3, 509), Of(kGreen));
}

TEST_F(GradientGauge, HorizontalAtZeroShowsTheFirstBandThatEndsRightOfTheOrigin)
{
    // Bands 0 and 1 are empty, band 2 covers column 0: RGB(2, 253, 0).
    const wxImage image = Paint(Gauge(false), 0, 100, 10);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(At(image, 0, y), (Rgb{2, 253, 0}));
    for (int x = 1; x < 100; ++x) ASSERT_EQ(At(image, x, 5), Of(kBack)) << "column " << x;
}

TEST_F(GradientGauge, VerticalAtFullIsGradientFromBottomToTop)
{
    const wxImage image = Paint(Gauge(true), 100, 10, 100);
    EXPECT_EQ(Count(image, Of(kBack)), 0);
    EXPECT_EQ(Count(image, Of(kUnpainted)), 0);
    EXPECT_EQ(At(image, 5, 99), (Rgb{2, 253, 0}));  // band 2, the first non-empty one
    EXPECT_EQ(At(image, 5, 0), (Rgb{254, 1, 0}));   // the last band reaches the top edge
    // Red grows and green shrinks going up; blue stays 0.
    for (int y = 98; y >= 0; --y) {
        const Rgb below = At(image, 5, y + 1);
        const Rgb here = At(image, 5, y);
        ASSERT_GE(here.r, below.r) << "row " << y;
        ASSERT_LE(here.g, below.g) << "row " << y;
        ASSERT_EQ(here.b, 0);
    }
}

TEST_F(GradientGauge, HorizontalAtFullIsGradientFromLeftToRight)
{
    const wxImage image = Paint(Gauge(false), 100, 300, 6);
    EXPECT_EQ(Count(image, Of(kBack)), 0);
    EXPECT_EQ(Count(image, Of(kUnpainted)), 0);
    EXPECT_EQ(At(image, 0, 3), (Rgb{0, 255, 0}));  // 300 px over 255 bands: band 0 is one pixel
    EXPECT_EQ(At(image, 299, 3), (Rgb{254, 1, 0}));
}

TEST_F(GradientGauge, TheGradientDoesNotDependOnTheLevel)
{
    // The colour at a given height is the same at 30 % as at 100 %.
    CGradientProgressCtrl* gauge = Gauge(true);
    const wxImage full = Paint(gauge, 100, 4, 255);
    const wxImage part = Paint(gauge, 30, 4, 255);
    for (int y = 254; y >= 255 - 76; --y) ASSERT_EQ(At(part, 1, y), At(full, 1, y)) << "row " << y;
    EXPECT_EQ(At(part, 1, 0), Of(kBack));
}

TEST_F(GradientGauge, TheBandThatCrossesTheLevelIsDrawnWhole)
{
    // 10 bands of 10 pixels (green to RGB(0,245,0)); level 35 % of 100 px ends inside band 3.
    CGradientProgressCtrl* gauge = Gauge(true);
    gauge->m_endColor = wxColour(0, 245, 0);
    const wxImage image = Paint(gauge, 35, 4, 100);
    EXPECT_EQ(At(image, 1, 60), (Rgb{0, 252, 0}));  // band 3 reaches up to row 60
    EXPECT_EQ(At(image, 1, 59), Of(kBack));
    EXPECT_EQ(At(image, 1, 99), Of(kGreen));
}

TEST_F(GradientGauge, OutOfRangePositionsArePlainButtonFaceWithoutText)
{
    const Rgb face = Of(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    for (bool vertical : {true, false}) {
        for (int pos : {101, -1}) {
            CGradientProgressCtrl* gauge = Gauge(vertical);
            gauge->m_showPercent = true;
            const wxImage image = Paint(gauge, pos, 60, 30);
            EXPECT_EQ(Count(image, face), 60 * 30) << "position " << pos << (vertical ? " vertical" : " horizontal");
        }
    }
}

TEST_F(GradientGauge, EqualColoursFillWithThatColourAndBlackCountsTwoHundredFiftyFiveBands)
{
    EXPECT_EQ(CGradientProgressCtrl::BandCount(*wxBLACK, *wxBLACK), 255);
    EXPECT_EQ(CGradientProgressCtrl::BandCount(wxColour(10, 200, 30), wxColour(10, 200, 30)), 200);
    EXPECT_EQ(CGradientProgressCtrl::BandCount(kGreen, kRed), 255);
    EXPECT_EQ(CGradientProgressCtrl::BandCount(wxColour(10, 20, 30), wxColour(0, 60, 25)), 40);

    for (const wxColour& colour : {wxColour(10, 200, 30), wxColour(0, 0, 0)}) {
        CGradientProgressCtrl* gauge = Gauge(true);
        gauge->m_startColor = colour;
        gauge->m_endColor = colour;
        const wxImage image = Paint(gauge, 100, 8, 64);
        EXPECT_EQ(Count(image, Of(colour)), 8 * 64) << Of(colour);
    }
}

TEST_F(GradientGauge, AControlShorterThanItsBandCountStillCoversTheFilledExtent)
{
    // 255 bands in 50 pixels: most bands are empty; the level 50 % is 25 pixels.
    const wxImage image = Paint(Gauge(true), 50, 6, 50);
    EXPECT_EQ(Count(image, Of(kUnpainted)), 0);
    for (int y = 0; y < 25; ++y) ASSERT_EQ(At(image, 3, y), Of(kBack)) << "row " << y;
    for (int y = 25; y < 50; ++y) {
        const Rgb c = At(image, 3, y);
        ASSERT_NE(c, Of(kBack)) << "row " << y;
        ASSERT_EQ(c.b, 0) << "row " << y;
    }
}

TEST_F(GradientGauge, PrintsThePercentageOverTheBarOnlyWhenAskedTo)
{
    CGradientProgressCtrl* gauge = Gauge(false);
    gauge->m_backColor = kRed;
    gauge->m_textColor = wxColour(0, 0, 0);
    auto darkPixels = [](const wxImage& image) {
        int dark = 0;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x)
                dark += image.GetRed(x, y) + image.GetGreen(x, y) + image.GetBlue(x, y) < 120;
        return dark;
    };
    EXPECT_EQ(darkPixels(Paint(gauge, 50, 120, 30)), 0);
    gauge->m_showPercent = true;
    EXPECT_GT(darkPixels(Paint(gauge, 50, 120, 30)), 10);
}

TEST_F(GradientGauge, SetPosAndSetStepReturnThePreviousValue)
{
    CGradientProgressCtrl* gauge = Gauge(true);
    EXPECT_EQ(gauge->SetPos(40), 0);
    EXPECT_EQ(gauge->SetPos(7), 40);
    EXPECT_EQ(gauge->GetPos(), 7);
    EXPECT_EQ(gauge->SetStep(1), 10);
    EXPECT_EQ(gauge->SetStep(3), 1);
}

}  // namespace
}  // namespace kestrun
