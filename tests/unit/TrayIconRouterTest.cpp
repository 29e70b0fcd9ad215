// Which of the two icons shows, as the panel's watcher comes and goes, and the
// one message when neither can show.
#include "app/core/TrayIconRouter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

using platform::StatusItemState;

class RecordingIcon final : public NotifyIcon {
public:
    bool Add(int index, const std::wstring& tooltip) override { return Record("add", index, tooltip, addResult); }
    bool Modify(int index, const std::wstring& tooltip) override { return Record("modify", index, tooltip, true); }
    bool Delete() override { return Record("delete", -1, {}, true); }

    std::vector<std::string> calls;
    std::vector<std::wstring> tooltips;
    std::vector<int> indexes;
    bool addResult = true;

private:
    bool Record(const char* what, int index, const std::wstring& tooltip, bool result)
    {
        calls.emplace_back(what);
        indexes.push_back(index);
        tooltips.push_back(tooltip);
        return result;
    }
};

class Router : public ::testing::Test {
protected:
    RecordingIcon item;
    RecordingIcon tray;
    bool trayPresent = true;
    std::vector<std::wstring> told;
    TrayIconRouter router{item, tray, [this] { return trayPresent; }, [this](const std::wstring& text) { told.push_back(text); }};
    using Calls = std::vector<std::string>;
};

TEST_F(Router, APanelThatTakesTheItemShowsItAndTheTrayIconStaysAway)
{
    router.Add(0, L"Dravik Task Manager");
    EXPECT_EQ(item.calls, Calls{"add"});
    EXPECT_TRUE(tray.calls.empty()) << "nothing is decided before the bus answers";
    EXPECT_FALSE(router.IconShown());

    router.OnStatusItem(StatusItemState::Registered, true);
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_TRUE(router.IconShown());
    EXPECT_TRUE(told.empty());
}

TEST_F(Router, WithoutAWatcherTheTrayIconShowsWhatTheItemWouldHave)
{
    router.Add(0, L"Dravik Task Manager");
    router.Modify(3, L"CPU Load: 30%");
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    ASSERT_EQ(tray.calls, Calls{"add"});
    EXPECT_EQ(tray.indexes[0], 3);
    EXPECT_EQ(tray.tooltips[0], L"CPU Load: 30%");
    EXPECT_TRUE(router.IconShown());
    EXPECT_TRUE(told.empty());
}

TEST_F(Router, NoSessionBusAtAllDecidesAtOnce)
{
    item.addResult = false;
    router.Add(0, L"Dravik Task Manager");
    EXPECT_EQ(tray.calls, Calls{"add"});
    EXPECT_TRUE(told.empty());
}

TEST_F(Router, WhenNeitherCanShowTheUserIsToldOnceAtStart)
{
    trayPresent = false;
    router.Add(0, L"Dravik Task Manager");
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    ASSERT_EQ(told, std::vector<std::wstring>{L"The taskbar notification icon cannot be added."});
    EXPECT_FALSE(router.IconShown());
    EXPECT_EQ(tray.calls, Calls{"add"}) << "the icon is set, so that a notification area that comes shows it";

    router.OnStatusItem(StatusItemState::Registered, true);
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    EXPECT_EQ(told.size(), 1u);
}

TEST_F(Router, TheWatcherLeavingBringsTheTrayIconBackAndItsReturnTakesItAway)
{
    router.Add(0, L"Dravik Task Manager");
    router.OnStatusItem(StatusItemState::Registered, true);
    router.Modify(5, L"CPU Load: 50%");
    EXPECT_TRUE(tray.calls.empty());

    router.OnStatusItem(StatusItemState::NoWatcher, false);
    ASSERT_EQ(tray.calls, Calls{"add"});
    EXPECT_EQ(tray.indexes[0], 5);
    EXPECT_EQ(tray.tooltips[0], L"CPU Load: 50%");

    router.Modify(7, L"CPU Load: 70%");
    EXPECT_EQ(tray.calls, (Calls{"add", "modify"}));

    router.OnStatusItem(StatusItemState::Registered, true);
    EXPECT_EQ(tray.calls, (Calls{"add", "modify", "delete"}));
    EXPECT_FALSE(router.trayIconShown());
    EXPECT_TRUE(told.empty());
}

TEST_F(Router, AWatcherWithoutPanelLeavesTheIconToTheTray)
{
    router.Add(0, L"Dravik Task Manager");
    router.OnStatusItem(StatusItemState::Registered, false);
    EXPECT_EQ(tray.calls, Calls{"add"});
    EXPECT_FALSE(router.statusItemShown());
    router.OnStatusItem(StatusItemState::Registered, true);
    EXPECT_EQ(tray.calls, (Calls{"add", "delete"}));
    EXPECT_TRUE(router.statusItemShown());
}

TEST_F(Router, TheItemKeepsTheCurrentIconWhileNoPanelShowsIt)
{
    router.Add(0, L"Dravik Task Manager");
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    router.Modify(2, L"CPU Load: 20%");
    EXPECT_EQ(item.calls, (Calls{"add", "modify"}));
    EXPECT_EQ(item.indexes[1], 2);
}

TEST_F(Router, DeleteRemovesBothAndLaterNewsChangesNothing)
{
    router.Add(0, L"Dravik Task Manager");
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    router.Delete();
    EXPECT_EQ(item.calls, (Calls{"add", "delete"}));
    EXPECT_EQ(tray.calls, (Calls{"add", "delete"}));
    router.OnStatusItem(StatusItemState::Registered, true);
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    router.Delete();
    EXPECT_EQ(tray.calls, (Calls{"add", "delete"}));
    EXPECT_EQ(item.calls, (Calls{"add", "delete"}));
}

TEST_F(Router, HideWhenMinimizedHasAnIconOnlyWhereSomeoneShowsIt)
{
    router.Add(0, L"Dravik Task Manager");
    router.OnStatusItem(StatusItemState::NoWatcher, false);
    EXPECT_TRUE(router.IconShown());
    trayPresent = false;  // the notification area went away
    EXPECT_FALSE(router.IconShown());
    router.OnStatusItem(StatusItemState::Registered, true);
    EXPECT_TRUE(router.IconShown());
}

}  // namespace
}  // namespace kestrun
