// The page's size bookkeeping: what a page lays its controls out for, and when.
#include "pages/core/PageResize.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

PageResize Template(int width, int height)
{
    PageResize resize;
    resize.SetLayoutSize(width, height);
    return resize;
}

TEST(PageResizing, FirstShowFitsTheControlsToTheRealSizeWhateverTheViewTold)
{
    PageResize resize = Template(444, 285);
    EXPECT_FALSE(resize.Accumulate(-27, -65)) << "a hidden page does not lay out";
    EXPECT_TRUE(resize.pending());
    EXPECT_EQ(resize.pendingDx(), -27);
    // The tab control gave the page 464 x 250: the controls move by that, not by
    // the shrink the view spoke of.
    EXPECT_EQ(resize.Show(464, 250), (LayoutDelta{20, -35}));
    EXPECT_FALSE(resize.pending());
    EXPECT_EQ(resize.pendingDx(), 0);
    EXPECT_EQ(resize.layoutWidth(), 464);
    EXPECT_EQ(resize.layoutHeight(), 250);
}

TEST(PageResizing, ShownPageFollowsEachNewSizeOnceAndHiddenPageWaits)
{
    PageResize resize = Template(400, 300);
    EXPECT_EQ(resize.Show(400, 300), std::nullopt) << "the template already fits";
    EXPECT_TRUE(resize.Accumulate(30, 20)) << "a shown page follows its size";
    EXPECT_EQ(resize.Follow(400, 300), std::nullopt) << "the size may arrive only later";
    EXPECT_EQ(resize.Follow(430, 320), (LayoutDelta{30, 20}));
    EXPECT_EQ(resize.Follow(430, 320), std::nullopt) << "the same size again changes nothing";

    resize.Hide();
    EXPECT_EQ(resize.Follow(500, 400), std::nullopt) << "hidden: nothing moves";
    EXPECT_FALSE(resize.Accumulate(70, 80));
    EXPECT_FALSE(resize.Accumulate(-20, 10));
    EXPECT_EQ(resize.pendingDx(), 50);
    EXPECT_EQ(resize.pendingDy(), 90);
    // Shown again: one layout for everything since the last one.
    EXPECT_EQ(resize.Show(480, 410), (LayoutDelta{50, 90}));
    resize.Hide();
    EXPECT_EQ(resize.Show(480, 410), std::nullopt) << "shown again at the same size: nothing to apply twice";
}

}  // namespace
}  // namespace kestrun
