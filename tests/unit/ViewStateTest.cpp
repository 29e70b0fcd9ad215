#include "app/core/Help.h"
#include "app/core/ViewState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

class RecordingTimer : public UpdateTimer {
public:
    bool Start(int intervalMs) override
    {
        calls.push_back("start " + std::to_string(intervalMs));
        return !failStart;
    }
    void Stop() override { calls.push_back("stop"); }

    std::vector<std::string> calls;
    bool failStart = false;
};

TEST(UpdateTimer, StartsAtNormalAndChoosingNormalAgainRestartsNothing)
{
    RecordingTimer timer;
    UpdateTimerState state(timer);
    ASSERT_TRUE(state.Start());
    EXPECT_TRUE(state.SetSpeed(UpdateSpeed::Normal));
    EXPECT_TRUE(state.SetSpeed(UpdateSpeed::Normal));
    EXPECT_EQ(timer.calls, (std::vector<std::string>{"start 2000"}));
    EXPECT_EQ(state.interval(), 2000);
}

TEST(UpdateTimer, FastThenStoppedThenNormal)
{
    RecordingTimer timer;
    UpdateTimerState state(timer);
    state.Start();
    state.SetSpeed(UpdateSpeed::Fast);
    state.SetSpeed(UpdateSpeed::Stopped);
    EXPECT_FALSE(state.running());
    state.SetSpeed(UpdateSpeed::Stopped);  // already stopped: nothing
    state.SetSpeed(UpdateSpeed::Normal);
    EXPECT_EQ(timer.calls, (std::vector<std::string>{"start 2000", "stop", "start 500", "stop", "start 2000"}));
    EXPECT_EQ(state.interval(), 2000);
    EXPECT_TRUE(state.running());
}

TEST(UpdateTimer, AFailedStartKeepsTheIntervalAndKillsNothingLater)
{
    RecordingTimer timer;
    UpdateTimerState state(timer);
    timer.failStart = true;
    EXPECT_FALSE(state.Start());
    EXPECT_FALSE(state.SetSpeed(UpdateSpeed::Slow));
    EXPECT_EQ(state.interval(), 4000) << "the interval is taken even when the timer could not be set";
    timer.failStart = false;
    EXPECT_TRUE(state.SetSpeed(UpdateSpeed::Fast));
    // No stop: there was no timer to kill after the failures.
    EXPECT_EQ(timer.calls, (std::vector<std::string>{"start 2000", "start 4000", "start 500"}));
}

TEST(ViewSize, FirstNarrowSizeShrinksEveryPageOnce)
{
    ViewSizeTracker tracker;
    const auto first = tracker.OnSize(false, 320, 200);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->first);
    EXPECT_TRUE(first->shrink);
    EXPECT_EQ(first->dx, -20);
    EXPECT_EQ(first->dy, -50);
    const auto second = tracker.OnSize(false, 330, 210);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->first);
    EXPECT_EQ(second->dx, 10);
    EXPECT_EQ(second->dy, 10);
}

TEST(ViewSize, FirstWideSizeShowsWithoutShrinking)
{
    ViewSizeTracker tracker;
    const auto first = tracker.OnSize(false, 340, 200);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->shrink);
    EXPECT_EQ(first->dx, 0);
}

TEST(ViewSize, AWindowOpenedWiderThanTheClassicOneGrowsThePagesByTheDifference)
{
    ViewSizeTracker tracker;
    tracker.SetClassicWidth(350);
    const auto first = tracker.OnSize(false, 500, 290);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->first);
    EXPECT_FALSE(first->shrink);
    EXPECT_EQ(first->dx, 150);
    EXPECT_EQ(first->dy, 0);
    const auto later = tracker.OnSize(false, 510, 300);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->dx, 10) << "later sizes count from the first as ever";

    ViewSizeTracker narrow;
    narrow.SetClassicWidth(350);
    const auto shrunk = narrow.OnSize(false, 320, 290);
    ASSERT_TRUE(shrunk);
    EXPECT_TRUE(shrunk->shrink) << "a narrow first size still shrinks";
    EXPECT_EQ(shrunk->dx, -20);
}

TEST(ViewSize, SmallAndMinimisedSizesAreIgnoredAndNotRemembered)
{
    ViewSizeTracker tracker;
    EXPECT_FALSE(tracker.OnSize(false, 299, 400));
    EXPECT_FALSE(tracker.OnSize(false, 400, 149));
    EXPECT_FALSE(tracker.OnSize(true, 400, 400));
    EXPECT_FALSE(tracker.accepted());
    ASSERT_TRUE(tracker.OnSize(false, 400, 300));
    EXPECT_FALSE(tracker.OnSize(false, 200, 100)) << "too small";
    EXPECT_FALSE(tracker.OnSize(false, 400, 300)) << "unchanged since the last accepted size";
    const auto grown = tracker.OnSize(false, 450, 330);
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->dx, 50) << "the whole change since the last accepted size";
    EXPECT_EQ(grown->dy, 30);
}

TEST(ViewSize, ThresholdsFollowTheDialogUnitScale)
{
    ViewSizeTracker tracker(1.5, 2.0);
    EXPECT_EQ(tracker.minWidth(), 450);
    EXPECT_EQ(tracker.minHeight(), 300);
    EXPECT_EQ(tracker.narrowWidth(), 510);
    const auto first = tracker.OnSize(false, 500, 400);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->shrink);
    EXPECT_EQ(first->dx, -30);
    EXPECT_EQ(first->dy, -100);
}

TEST(TabKeys, CtrlTabWrapsBothWays)
{
    EXPECT_EQ(NextTab(5, 6, false), 0);
    EXPECT_EQ(NextTab(0, 6, true), 5);
    EXPECT_EQ(NextTab(2, 6, false), 3);
    EXPECT_EQ(NextTab(2, 6, true), 1);
}

TEST(Help, HelpPageLiesBesideTheProgramWithItsCaseKept)
{
    EXPECT_EQ(HelpFileFor(L"\\Windows\\Kestrun.exe"), L"\\Windows\\Kestrun.htm");
    EXPECT_EQ(HelpFileFor(L"/usr/lib/kestrun/kestrun"), L"/usr/lib/kestrun/kestrun.htm");
    EXPECT_EQ(HelpFileFor(L"/opt/My.exe.d/Kestrun"), L"/opt/My.exe.d/Kestrun.htm");
    EXPECT_EQ(HelpFileFor(L"/opt/Kestrun.EXE"), L"/opt/Kestrun.EXE.htm") << "another case is another name here";
}

TEST(Help, EveryTabHasItsAnchorAndDescription)
{
    const std::vector<std::wstring> titles = {L"Applications", L"Processes", L"Services",
                                              L"Devices", L"System Performance", L"Network"};
    const std::vector<std::wstring> anchors = {L"#applications", L"#processes", L"#services",
                                               L"#devices", L"#system", L"#network"};
    for (int i = 0; i < kTabCount; ++i) {
        EXPECT_EQ(Tab(i).title, titles[static_cast<size_t>(i)]);
        EXPECT_EQ(Tab(i).anchor, anchors[static_cast<size_t>(i)]);
    }
    EXPECT_STREQ(Tab(kTabSystem).description, L"This tab shows a dynamic overview about the performance of the computer.");
    EXPECT_STREQ(Tab(kTabProcesses).description, L"This tab shows information about the processes running on the system.");
}

}  // namespace
}  // namespace kestrun
