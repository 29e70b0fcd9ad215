#include "app/core/LoadIconArt.h"
#include "app/core/TrayIconState.h"
#include "display/core/MessageBox.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace kestrun {
namespace {

// A notification icon that records what the platform was asked.
class RecordingIcon final : public NotifyIcon {
public:
    struct Call {
        std::string what;
        int index;
        std::wstring tooltip;
    };
    std::vector<Call> calls;
    bool addSucceeds = true;

    bool Add(int index, const std::wstring& tooltip) override
    {
        calls.push_back({"add", index, tooltip});
        return addSucceeds;
    }
    bool Modify(int index, const std::wstring& tooltip) override
    {
        calls.push_back({"modify", index, tooltip});
        return true;
    }
    bool Delete() override
    {
        calls.push_back({"delete", -1, {}});
        return true;
    }
};

class TrayIcon : public ::testing::Test {
protected:
    RecordingIcon icon;
    bool mainWindowShown = true;
    int hides = 0;
    int restores = 0;
    TrayIconState tray{icon, [this] { return mainWindowShown; }, [this] { ++hides; }, [this] { ++restores; }};
};

TEST(LoadIconIndex, MapsElevenPercentStepsToTwelveIcons)
{
    const std::vector<std::pair<unsigned, int>> cases = {
        {0, 0},   {9, 0},   {10, 1},  {18, 1},  {19, 2},   {50, 5},
        {90, 9},  {99, 10}, {100, 11}, {109, 11}, {110, 0}, {UINT_MAX, 0},
    };
    for (const auto& [load, index] : cases) EXPECT_EQ(LoadIconIndex(load), index) << load << " %";
}

TEST(LoadTooltip, PrintsTheLoadInPercent)
{
    EXPECT_EQ(LoadTooltip(0), L"CPU Load: 0%");
    EXPECT_EQ(LoadTooltip(100), L"CPU Load: 100%");
}

TEST_F(TrayIcon, StartsWithTheEmptyIconAndTheApplicationName)
{
    ASSERT_TRUE(tray.Create(L"Dravik Task Manager"));
    ASSERT_EQ(icon.calls.size(), 1u);
    EXPECT_EQ(icon.calls[0].what, "add");
    EXPECT_EQ(icon.calls[0].index, 0);
    EXPECT_EQ(icon.calls[0].tooltip, L"Dravik Task Manager");
}

TEST_F(TrayIcon, FirstTickAtZeroLoadKeepsTheApplicationNameAsTooltip)
{
    tray.Create(L"Dravik Task Manager");
    tray.UpdateTrayIcon(0);
    tray.UpdateTrayIcon(9);
    EXPECT_EQ(icon.calls.size(), 1u);  // only the add
    EXPECT_EQ(tray.tooltip(), L"Dravik Task Manager");
}

TEST_F(TrayIcon, AsksThePlatformOnlyWhenTheIconChanges)
{
    tray.Create(L"Dravik Task Manager");
    tray.UpdateTrayIcon(10);
    tray.UpdateTrayIcon(18);  // same icon: no call, tooltip keeps 10 %
    ASSERT_EQ(icon.calls.size(), 2u);
    EXPECT_EQ(icon.calls[1].what, "modify");
    EXPECT_EQ(icon.calls[1].index, 1);
    EXPECT_EQ(icon.calls[1].tooltip, L"CPU Load: 10%");
    EXPECT_EQ(tray.tooltip(), L"CPU Load: 10%");

    tray.UpdateTrayIcon(100);
    ASSERT_EQ(icon.calls.size(), 3u);
    EXPECT_EQ(icon.calls[2].index, 11);
    EXPECT_EQ(icon.calls[2].tooltip, L"CPU Load: 100%");

    tray.UpdateTrayIcon(5);
    ASSERT_EQ(icon.calls.size(), 4u);
    EXPECT_EQ(icon.calls[3].index, 0);
    EXPECT_EQ(icon.calls[3].tooltip, L"CPU Load: 5%");
}

TEST_F(TrayIcon, AFailedAddOpensNoBoxAndLaterRequestsAreStillMade)
{
    int boxes = 0;
    const MessageBoxHandler previous = SetMessageBoxHandler([&boxes](const MessageBoxRequest&) {
        ++boxes;
        return kIdOk;
    });
    icon.addSucceeds = false;
    EXPECT_FALSE(tray.Create(L"Dravik Task Manager"));
    tray.UpdateTrayIcon(50);
    tray.UpdateTrayIcon(70);
    tray.Destroy();
    SetMessageBoxHandler(previous);
    EXPECT_EQ(boxes, 0) << "a box at start-up would stand in front of the window";
    ASSERT_EQ(icon.calls.size(), 4u);
    EXPECT_EQ(icon.calls[1].what, "modify");
    EXPECT_EQ(icon.calls[2].what, "modify");
    EXPECT_EQ(icon.calls[3].what, "delete");
}

TEST_F(TrayIcon, NothingIsAskedBeforeCreationOrAfterDestruction)
{
    tray.UpdateTrayIcon(50);
    tray.Destroy();
    EXPECT_TRUE(icon.calls.empty());
    tray.Create(L"Dravik Task Manager");
    tray.Destroy();
    tray.Destroy();
    tray.UpdateTrayIcon(80);
    ASSERT_EQ(icon.calls.size(), 2u);
    EXPECT_EQ(icon.calls[1].what, "delete");
}

TEST_F(TrayIcon, LeftPressHidesTheShownMainWindowAndRestoresTheHiddenOne)
{
    tray.OnMouse(TrayMouse::LeftDown);
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(restores, 0);
    mainWindowShown = false;
    tray.OnMouse(TrayMouse::LeftDown);
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(restores, 1);
}

TEST_F(TrayIcon, OneClickReportedAsPressAndDoubleClickTogglesOnce)
{
    tray.OnMouse(TrayMouse::LeftDown);
    mainWindowShown = false;  // the press hid it
    tray.OnMouse(TrayMouse::LeftDoubleClick);
    tray.OnMouse(TrayMouse::Other);
    EXPECT_EQ(hides, 1);
    EXPECT_EQ(restores, 0);
}

// --- The pixel art of the load icons ------------------------------------------

uint32_t Pixel(const platform::Image& image, int x, int y)
{
    return image.pixels[static_cast<size_t>(y * image.width + x)];
}

bool RowLit(const platform::Image& image, int y)
{
    for (int x = kLoadColumnLeft; x <= kLoadColumnRight; ++x)
        if (Pixel(image, x, y) != kLoadIconLit) return false;
    return true;
}

TEST(LoadIconArt, IconOfIndexIHasItsBottomIRowsLit)
{
    for (int index = 0; index < kLoadIconCount; ++index) {
        const platform::Image image = DrawLoadIcon(index);
        ASSERT_EQ(image.width, 16);
        ASSERT_EQ(image.height, 16);
        for (int row = 0; row < kLoadIconRows; ++row) {
            const int y = kLoadColumnBottom - row;
            EXPECT_EQ(RowLit(image, y), row < index) << "icon " << index << " row " << row;
        }
    }
}

TEST(LoadIconArt, UnlitRowsAreADottedDarkGreenAndTheFrameIsSunken)
{
    const platform::Image image = DrawLoadIcon(0);
    // Dotted: neighbours differ, every other pixel is dark green, the others black.
    for (int y = kLoadColumnTop; y <= kLoadColumnBottom; ++y) {
        for (int x = kLoadColumnLeft; x < kLoadColumnRight; ++x) {
            const uint32_t here = Pixel(image, x, y);
            const uint32_t next = Pixel(image, x + 1, y);
            EXPECT_NE(here, next) << x << "," << y;
            EXPECT_TRUE(here == kLoadIconUnlit || here == kLoadIconBlack);
        }
    }
    EXPECT_EQ(Pixel(image, kLoadColumnLeft - 1, 8), kLoadIconShadow);
    EXPECT_EQ(Pixel(image, 8, kLoadColumnTop - 1), kLoadIconShadow);
    EXPECT_EQ(Pixel(image, kLoadColumnRight + 1, 8), kLoadIconHighlight);
    EXPECT_EQ(Pixel(image, 8, kLoadColumnBottom + 1), kLoadIconHighlight);
    EXPECT_EQ(Pixel(image, 0, 0), kLoadIconBlack);
    EXPECT_EQ(Pixel(image, 15, 15), kLoadIconBlack);
}

TEST(LoadIconArt, PanelSizesAreWholeMultiplesOrTheArtCentredOnTransparency)
{
    const platform::Image art = DrawLoadIcon(7);
    const std::vector<platform::Image> sizes = DrawLoadIconSizes(7);
    ASSERT_EQ(sizes.size(), 6u);
    const std::vector<std::pair<int, int>> expected = {{16, 0}, {22, 3}, {24, 4}, {32, 0}, {48, 0}, {64, 0}};
    for (size_t i = 0; i < sizes.size(); ++i) {
        const platform::Image& image = sizes[i];
        const auto [size, margin] = expected[i];
        ASSERT_EQ(image.width, size);
        ASSERT_EQ(image.height, size);
        ASSERT_EQ(image.pixels.size(), static_cast<size_t>(size * size));
        const int scale = (size - 2 * margin) / 16;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const bool inside = x >= margin && y >= margin && x < size - margin && y < size - margin;
                const uint32_t want = inside ? Pixel(art, (x - margin) / scale, (y - margin) / scale) : 0x00000000u;
                ASSERT_EQ(Pixel(image, x, y), want) << size << " px at " << x << "," << y;
            }
        }
    }
}

TEST(LoadIconArt, AnIndexOutsideTheTwelveDrawsTheEmptyIcon)
{
    EXPECT_EQ(DrawLoadIcon(12).pixels, DrawLoadIcon(0).pixels);
    EXPECT_EQ(DrawLoadIcon(-1).pixels, DrawLoadIcon(0).pixels);
}

}  // namespace
}  // namespace kestrun
