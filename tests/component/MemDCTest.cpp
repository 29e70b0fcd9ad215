// The off-screen drawing context: target coordinates, one copy at the end.
#include "display/MemDC.h"

#include <gtest/gtest.h>

#include <wx/brush.h>
#include <wx/image.h>
#include <wx/pen.h>

namespace kestrun {
namespace {

bool Is(const wxImage& image, int x, int y, const wxColour& colour)
{
    return image.GetRed(x, y) == colour.Red() && image.GetGreen(x, y) == colour.Green() &&
           image.GetBlue(x, y) == colour.Blue();
}

void Fill(wxDC& dc, const wxColour& colour, const wxRect& rect)
{
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(colour));
    dc.DrawRectangle(rect);
}

TEST(MemDC, DrawsInTheTargetsCoordinatesAndCopiesTheClipBoxOnDestruction)
{
    wxBitmap bitmap(40, 30, 24);
    {
        wxMemoryDC target(bitmap);
        Fill(target, *wxBLUE, wxRect(0, 0, 40, 30));
        target.SetClippingRegion(wxRect(10, 5, 20, 15));
        {
            CMemDC dc(target);
            EXPECT_EQ(dc.rect(), wxRect(10, 5, 20, 15));
            Fill(dc, *wxRED, wxRect(0, 0, 40, 30));
            Fill(dc, *wxGREEN, wxRect(12, 7, 2, 2));
        }
        target.DestroyClippingRegion();
    }
    const wxImage image = bitmap.ConvertToImage();
    EXPECT_TRUE(Is(image, 12, 7, *wxGREEN));
    EXPECT_TRUE(Is(image, 13, 8, *wxGREEN));
    EXPECT_TRUE(Is(image, 14, 9, *wxRED));
    EXPECT_TRUE(Is(image, 10, 5, *wxRED));
    EXPECT_TRUE(Is(image, 29, 19, *wxRED));
    // Outside the clip box the target keeps what it had.
    EXPECT_TRUE(Is(image, 9, 5, *wxBLUE));
    EXPECT_TRUE(Is(image, 30, 19, *wxBLUE));
    EXPECT_TRUE(Is(image, 10, 20, *wxBLUE));
}

TEST(MemDC, CoversOnlyTheGivenAreaOfTheClipBox)
{
    wxBitmap bitmap(40, 30, 24);
    {
        wxMemoryDC target(bitmap);
        Fill(target, *wxBLUE, wxRect(0, 0, 40, 30));
        CMemDC dc(target, wxRect(5, 6, 10, 8));
        EXPECT_EQ(dc.rect(), wxRect(5, 6, 10, 8));
        Fill(dc, *wxRED, wxRect(0, 0, 40, 30));
    }
    const wxImage image = bitmap.ConvertToImage();
    EXPECT_TRUE(Is(image, 5, 6, *wxRED));
    EXPECT_TRUE(Is(image, 14, 13, *wxRED));
    EXPECT_TRUE(Is(image, 4, 6, *wxBLUE));
    EXPECT_TRUE(Is(image, 15, 13, *wxBLUE));
    EXPECT_TRUE(Is(image, 14, 14, *wxBLUE));
}

}  // namespace
}  // namespace kestrun
