// The size rules of the detail dialogs: what the first size, small heights and
// repeated sizes do.
#include "dialogs/core/DetailModel.h"
#include "dialogs/core/DetailSize.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(DetailSize, TheFirstSizeIsOnlyRecorded)
{
    DetailSize size(50);
    EXPECT_FALSE(size.OnSize(300, 200));
    EXPECT_EQ(size.width(), 300);
    EXPECT_EQ(size.height(), 200);
    EXPECT_EQ(size.OnSize(310, 230), (SizeChange{10, 30}));
    EXPECT_EQ(size.OnSize(300, 200), (SizeChange{-10, -30}));
}

TEST(DetailSize, AnUnchangedSizeMovesNothing)
{
    DetailSize size(50);
    size.OnSize(300, 200);
    EXPECT_FALSE(size.OnSize(300, 200));
}

TEST(DetailSize, HeightsBelowTheMinimumAreIgnoredAndNotRecorded)
{
    struct Case {
        int minimum;
        int height;
        bool accepted;
    };
    const Case cases[] = {{50, 49, false}, {50, 50, true}, {70, 69, false}, {70, 70, true}, {70, 0, false}};
    for (const Case& c : cases) {
        DetailSize size(c.minimum);
        size.OnSize(300, 200);
        const auto change = size.OnSize(320, c.height);
        EXPECT_EQ(change.has_value(), c.accepted) << c.minimum << " " << c.height;
        // The next size is compared with the last accepted one.
        const auto next = size.OnSize(330, 210);
        ASSERT_TRUE(next);
        const SizeChange expected = c.accepted ? SizeChange{10, 210 - c.height} : SizeChange{30, 10};
        EXPECT_EQ(*next, expected) << c.minimum << " " << c.height;
    }
}

TEST(DetailTitle, PluralUnlessExactlyOne)
{
    EXPECT_EQ(DetailTitle(L"%ls - %u Thread%ls", L"nk.exe", 0), L"nk.exe - 0 Threads");
    EXPECT_EQ(DetailTitle(L"%ls - %u Thread%ls", L"nk.exe", 1), L"nk.exe - 1 Thread");
    EXPECT_EQ(DetailTitle(L"%ls - %u Memory Block%ls", L"(none)", 2), L"(none) - 2 Memory Blocks");
}

}  // namespace
}  // namespace kestrun
