// The load icon through the tray logic to a status item on a private session
// bus: panels hear of a new icon only when the gauge steps, and the X11 tray
// icon stands in while the watcher is away.
#include "app/core/LoadIconArt.h"
#include "app/core/StatusItemIcon.h"
#include "app/core/TrayIconRouter.h"
#include "app/core/TrayIconState.h"
#include "tests/support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

using platform::StatusItemState;

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

class CountingTrayIcon final : public NotifyIcon {
public:
    bool Add(int, const std::wstring&) override
    {
        ++adds;
        shown = true;
        return true;
    }
    bool Modify(int, const std::wstring&) override { return true; }
    bool Delete() override
    {
        ++deletes;
        shown = false;
        return true;
    }
    int adds = 0;
    int deletes = 0;
    bool shown = false;
};

class LoadIconOnPrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.ok());
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE(client.CountSignals(kItemInterface, "NewIcon"));
        ASSERT_TRUE(client.CountSignals(kItemInterface, "NewToolTip"));
    }

    bool Pump(const std::function<bool()>& done)
    {
        for (int i = 0; i < 400; ++i) {
            if (done()) return true;
            std::vector<pollfd> fds{client.PollFd()};
            if (item->PollFd() >= 0) fds.push_back({item->PollFd(), item->PollEvents(), 0});
            poll(fds.data(), fds.size(), 25);
            item->Process();
            client.Process();
        }
        return done();
    }
    // Lets signals already sent arrive: a round trip to the item comes back after them.
    void Settle()
    {
        auto reply = client.GetProperty(itemName, "/StatusNotifierItem", kItemInterface, "Id");
        Pump([&] { return reply->done; });
    }
    int NewIcons() { return client.Signals(kItemInterface, "NewIcon"); }
    int NewToolTips() { return client.Signals(kItemInterface, "NewToolTip"); }

    std::string ToolTipTitle()
    {
        auto reply = client.GetProperty(itemName, "/StatusNotifierItem", kItemInterface, "ToolTip");
        Pump([&] { return reply->done; });
        const char* name = nullptr;
        const char* title = nullptr;
        const char* text = nullptr;
        if (!reply->error.empty() || sd_bus_message_enter_container(reply->message, 'v', "(sa(iiay)ss)") < 0 ||
            sd_bus_message_enter_container(reply->message, 'r', "sa(iiay)ss") < 0 ||
            sd_bus_message_read(reply->message, "s", &name) < 0 || sd_bus_message_skip(reply->message, "a(iiay)") < 0 ||
            sd_bus_message_read(reply->message, "ss", &title, &text) < 0)
            return "<" + reply->error + ">";
        return title;
    }

    testing::PrivateSessionBus bus;
    testing::BusClient client{bus.address()};
    CountingTrayIcon trayIcon;
    std::vector<std::wstring> told;
    TrayIconRouter* routerPtr = nullptr;
    std::unique_ptr<platform::StatusItem> item = platform::CreateStatusItem(
        {"kestrun", "Dravik Task Manager", "SystemServices"},
        {[] {}, [this] { routerPtr->OnStatusItem(item->state(), item->hostPresent()); }});
    StatusItemIcon statusIcon{*item, bus.address()};
    TrayIconRouter router{statusIcon, trayIcon, [] { return true; }, [this](const std::wstring& t) { told.push_back(t); }};
    TrayIconState tray{router, [] { return true; }, [] {}, [] {}};
    const std::string itemName = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";

    void Create()
    {
        routerPtr = &router;
        tray.Create(L"Dravik Task Manager");
    }
};

TEST_F(LoadIconOnPrivateBus, PanelsHearOfANewIconOnlyWhenTheGaugeSteps)
{
    ASSERT_TRUE(bus.StartWatcher());
    Create();
    ASSERT_TRUE(Pump([&] { return router.statusItemShown(); }));
    Settle();
    EXPECT_EQ(trayIcon.adds, 0) << "the X11 icon stays away while a panel shows the item";
    EXPECT_EQ(ToolTipTitle(), "Dravik Task Manager");
    const int icons = NewIcons();
    const int tips = NewToolTips();

    for (unsigned load : {0u, 5u, 9u}) tray.UpdateTrayIcon(load);  // all on the empty gauge
    Settle();
    EXPECT_EQ(NewIcons(), icons);
    EXPECT_EQ(NewToolTips(), tips);

    tray.UpdateTrayIcon(10);  // one step up
    tray.UpdateTrayIcon(18);  // the same step
    Settle();
    EXPECT_EQ(NewIcons(), icons + 1);
    EXPECT_EQ(NewToolTips(), tips + 1);
    EXPECT_EQ(ToolTipTitle(), "CPU Load: 10%");

    tray.UpdateTrayIcon(100);
    Settle();
    EXPECT_EQ(NewIcons(), icons + 2);
    EXPECT_EQ(ToolTipTitle(), "CPU Load: 100%");
    EXPECT_TRUE(told.empty());
}

TEST_F(LoadIconOnPrivateBus, TheTrayIconStandsInWhileThePanelRestarts)
{
    ASSERT_TRUE(bus.StartWatcher());
    Create();
    ASSERT_TRUE(Pump([&] { return router.statusItemShown(); }));

    bus.StopWatcher();
    ASSERT_TRUE(Pump([&] { return trayIcon.shown; }));
    EXPECT_EQ(trayIcon.adds, 1);
    tray.UpdateTrayIcon(60);  // the item keeps the icon current meanwhile

    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(Pump([&] { return router.statusItemShown() && !trayIcon.shown; }));
    EXPECT_EQ(trayIcon.deletes, 1);
    EXPECT_EQ(ToolTipTitle(), "CPU Load: 60%");
    EXPECT_TRUE(told.empty());
}

TEST_F(LoadIconOnPrivateBus, WithoutAWatcherTheTrayIconIsUsedFromTheStart)
{
    Create();
    ASSERT_TRUE(Pump([&] { return trayIcon.shown; }));
    EXPECT_EQ(item->state(), StatusItemState::NoWatcher);
    EXPECT_TRUE(told.empty()) << "the notification area shows the icon";
}

}  // namespace
}  // namespace kestrun
