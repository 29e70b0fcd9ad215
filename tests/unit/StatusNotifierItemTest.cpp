// The status item on a private session bus with a stand-in watcher: what a
// panel reads from it, what it is told, and how the item follows the watcher
// leaving and coming back.
#include "platform/LastError.h"
#include "platform/StatusItem.h"
#include "tests/support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kestrun {
namespace {

using platform::StatusItemState;
using testing::BusClient;
using testing::BusReply;
using testing::kWatcherName;
using testing::kWatcherPath;
using testing::PrivateSessionBus;

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcherInterface = "org.kde.StatusNotifierWatcher";

struct Pixmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bytes;
};

platform::Image Filled(int size, uint32_t argb)
{
    platform::Image image;
    image.width = size;
    image.height = size;
    image.pixels.assign(static_cast<size_t>(size * size), argb);
    return image;
}

// Reads an a(iiay) from a message positioned at it.
std::vector<Pixmap> ReadPixmaps(sd_bus_message* m)
{
    std::vector<Pixmap> pixmaps;
    if (sd_bus_message_enter_container(m, 'a', "(iiay)") < 0) return pixmaps;
    while (sd_bus_message_enter_container(m, 'r', "iiay") > 0) {
        Pixmap pixmap;
        const void* data = nullptr;
        size_t size = 0;
        if (sd_bus_message_read(m, "ii", &pixmap.width, &pixmap.height) < 0 ||
            sd_bus_message_read_array(m, 'y', &data, &size) < 0)
            break;
        pixmap.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        pixmaps.push_back(std::move(pixmap));
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return pixmaps;
}

class StatusItemOnPrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.ok()) << "dbus-daemon did not start";
        ASSERT_TRUE(client.ok());
        ASSERT_TRUE(client.CountSignals(kItemInterface, "NewIcon"));
        ASSERT_TRUE(client.CountSignals(kItemInterface, "NewToolTip"));
        ASSERT_TRUE(client.CountSignals(kWatcherInterface, "StatusNotifierItemRegistered"));
    }

    // Runs the item and the test's client until done() or about ten seconds.
    bool Pump(const std::function<bool()>& done)
    {
        for (int i = 0; i < 400; ++i) {
            if (done()) return true;
            std::vector<pollfd> fds{client.PollFd()};
            if (item->PollFd() >= 0) fds.push_back({item->PollFd(), item->PollEvents(), 0});
            int timeout = item->PollTimeoutMs();
            if (timeout < 0 || timeout > 25) timeout = 25;
            poll(fds.data(), fds.size(), timeout);
            item->Process();
            client.Process();
        }
        return done();
    }
    bool PumpUntilState(StatusItemState state)
    {
        return Pump([&] { return item->state() == state; });
    }
    std::shared_ptr<BusReply> Await(std::shared_ptr<BusReply> reply)
    {
        Pump([&] { return reply->done; });
        return reply;
    }
    std::shared_ptr<BusReply> ItemProperty(const char* name)
    {
        return Await(client.GetProperty(itemName, "/StatusNotifierItem", kItemInterface, name));
    }
    std::string StringProperty(const char* name)
    {
        const auto reply = ItemProperty(name);
        const char* text = nullptr;
        if (!reply->error.empty() || sd_bus_message_read(reply->message, "v", "s", &text) < 0) return "<" + reply->error + ">";
        return text;
    }
    std::vector<std::string> RegisteredItems()
    {
        const auto reply = Await(client.GetProperty(kWatcherName, kWatcherPath, kWatcherInterface,
                                                    "RegisteredStatusNotifierItems"));
        std::vector<std::string> items;
        if (!reply->error.empty() || sd_bus_message_enter_container(reply->message, 'v', "as") < 0) return items;
        char** strv = nullptr;
        if (sd_bus_message_read_strv(reply->message, &strv) < 0) return items;
        for (char** s = strv; *s != nullptr; ++s) {
            items.emplace_back(*s);
            free(*s);
        }
        free(strv);
        return items;
    }
    bool StartRegistered()
    {
        return item->Start(bus.address()) && PumpUntilState(StatusItemState::Registered);
    }

    PrivateSessionBus bus;
    BusClient client{bus.address()};
    int activations = 0;
    int stateChanges = 0;
    std::unique_ptr<platform::StatusItem> item = platform::CreateStatusItem(
        {"kestrun", "Dravik Task Manager", "SystemServices"},
        {[this] { ++activations; }, [this] { ++stateChanges; }});
    const std::string itemName = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
};

TEST_F(StatusItemOnPrivateBus, RegistersWithTheWatcherUnderItsOwnName)
{
    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(StartRegistered());
    EXPECT_TRUE(item->hostPresent());
    EXPECT_EQ(RegisteredItems(), std::vector<std::string>{itemName + "/StatusNotifierItem"});
    EXPECT_EQ(client.Signals(kWatcherInterface, "StatusNotifierItemRegistered"), 1);
}

TEST_F(StatusItemOnPrivateBus, PanelsReadTheIconSizesInNetworkByteOrderAndTheTexts)
{
    ASSERT_TRUE(bus.StartWatcher());
    item->SetIcon({Filled(16, 0x80FF2010u), Filled(32, 0xFF00C040u)});
    item->SetToolTip("CPU Load: 42%");
    ASSERT_TRUE(StartRegistered());

    const auto icon = ItemProperty("IconPixmap");
    ASSERT_EQ(icon->error, "");
    ASSERT_GE(sd_bus_message_enter_container(icon->message, 'v', "a(iiay)"), 0);
    const std::vector<Pixmap> pixmaps = ReadPixmaps(icon->message);
    ASSERT_EQ(pixmaps.size(), 2u);
    EXPECT_EQ(pixmaps[0].width, 16);
    EXPECT_EQ(pixmaps[0].height, 16);
    ASSERT_EQ(pixmaps[0].bytes.size(), 16u * 16u * 4u);
    EXPECT_EQ(std::vector<uint8_t>(pixmaps[0].bytes.begin(), pixmaps[0].bytes.begin() + 4),
              (std::vector<uint8_t>{0x80, 0xFF, 0x20, 0x10}));  // A, R, G, B
    EXPECT_EQ(pixmaps[1].width, 32);
    ASSERT_EQ(pixmaps[1].bytes.size(), 32u * 32u * 4u);
    EXPECT_EQ(std::vector<uint8_t>(pixmaps[1].bytes.end() - 4, pixmaps[1].bytes.end()),
              (std::vector<uint8_t>{0xFF, 0x00, 0xC0, 0x40}));

    const auto tip = ItemProperty("ToolTip");
    ASSERT_EQ(tip->error, "");
    ASSERT_GE(sd_bus_message_enter_container(tip->message, 'v', "(sa(iiay)ss)"), 0);
    ASSERT_GE(sd_bus_message_enter_container(tip->message, 'r', "sa(iiay)ss"), 0);
    const char* iconName = nullptr;
    ASSERT_GE(sd_bus_message_read(tip->message, "s", &iconName), 0);
    EXPECT_TRUE(ReadPixmaps(tip->message).empty());
    const char* title = nullptr;
    const char* description = nullptr;
    ASSERT_GE(sd_bus_message_read(tip->message, "ss", &title, &description), 0);
    EXPECT_STREQ(title, "CPU Load: 42%");

    EXPECT_EQ(StringProperty("Title"), "Dravik Task Manager");
    EXPECT_EQ(StringProperty("Category"), "SystemServices");
    EXPECT_EQ(StringProperty("Id"), "kestrun");
    EXPECT_EQ(StringProperty("Status"), "Active");
    const auto isMenu = ItemProperty("ItemIsMenu");
    int menu = 1;
    ASSERT_GE(sd_bus_message_read(isMenu->message, "v", "b", &menu), 0);
    EXPECT_EQ(menu, 0) << "a left click must activate, not open a menu";
}

TEST_F(StatusItemOnPrivateBus, PanelsAreToldOfEachNewIconAndTooltip)
{
    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(StartRegistered());
    item->SetIcon({Filled(16, 0xFF000000u)});
    item->SetToolTip("CPU Load: 10%");
    item->SetIcon({Filled(16, 0xFF00FF00u)});
    ASSERT_TRUE(Pump([&] { return client.Signals(kItemInterface, "NewIcon") == 2; }));
    Pump([&] { return client.Signals(kItemInterface, "NewToolTip") == 1; });
    EXPECT_EQ(client.Signals(kItemInterface, "NewToolTip"), 1);
    const auto icon = ItemProperty("IconPixmap");
    ASSERT_GE(sd_bus_message_enter_container(icon->message, 'v', "a(iiay)"), 0);
    const auto pixmaps = ReadPixmaps(icon->message);
    ASSERT_EQ(pixmaps.size(), 1u);
    EXPECT_EQ(pixmaps[0].bytes[2], 0xFF) << "the newest icon";
}

TEST_F(StatusItemOnPrivateBus, ActivateCallsTheProgramBackAndOtherClicksDoNothing)
{
    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(StartRegistered());
    auto activate = Await(client.Call(itemName, "/StatusNotifierItem", kItemInterface, "Activate", "ii", 10, 20));
    EXPECT_EQ(activate->error, "");
    EXPECT_EQ(activations, 1);
    for (const char* member : {"SecondaryActivate", "ContextMenu"})
        EXPECT_EQ(Await(client.Call(itemName, "/StatusNotifierItem", kItemInterface, member, "ii", 1, 2))->error, "")
            << member;
    EXPECT_EQ(Await(client.Call(itemName, "/StatusNotifierItem", kItemInterface, "Scroll", "is", 1, "vertical"))->error,
              "");
    EXPECT_EQ(activations, 1);
}

TEST_F(StatusItemOnPrivateBus, RegistersAgainWhenTheWatcherComesBack)
{
    ASSERT_TRUE(item->Start(bus.address()));
    ASSERT_TRUE(PumpUntilState(StatusItemState::NoWatcher)) << "no watcher is on the bus yet";

    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(PumpUntilState(StatusItemState::Registered)) << "a watcher that appears gets the item";
    EXPECT_EQ(RegisteredItems().size(), 1u);

    bus.StopWatcher();  // the panel restarts
    ASSERT_TRUE(PumpUntilState(StatusItemState::NoWatcher));

    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(PumpUntilState(StatusItemState::Registered));
    EXPECT_EQ(RegisteredItems(), std::vector<std::string>{itemName + "/StatusNotifierItem"});
    EXPECT_EQ(client.Signals(kWatcherInterface, "StatusNotifierItemRegistered"), 2);
}

TEST_F(StatusItemOnPrivateBus, FollowsTheWatcherLosingAndFindingItsPanel)
{
    ASSERT_TRUE(bus.StartWatcher(false));
    ASSERT_TRUE(StartRegistered());
    EXPECT_FALSE(item->hostPresent());

    Await(client.Call(kWatcherName, kWatcherPath, kWatcherInterface, "SetHost", "b", 1));
    ASSERT_TRUE(Pump([&] { return item->hostPresent(); }));
    Await(client.Call(kWatcherName, kWatcherPath, kWatcherInterface, "SetHost", "b", 0));
    ASSERT_TRUE(Pump([&] { return !item->hostPresent(); }));
    EXPECT_EQ(item->state(), StatusItemState::Registered);
}

TEST_F(StatusItemOnPrivateBus, TheBusGoingAwayLeavesTheItemWithoutWatcher)
{
    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(StartRegistered());
    const int before = stateChanges;
    bus.StopWatcher();
    bus.StopDaemon();
    ASSERT_TRUE(PumpUntilState(StatusItemState::NoWatcher));
    EXPECT_GT(stateChanges, before);
    Pump([&] { return item->PollFd() < 0; });
    EXPECT_EQ(item->PollFd(), -1) << "a closed bus is not polled";
    item->SetIcon({Filled(16, 0xFF000000u)});  // nothing to tell, and no failure
}

TEST_F(StatusItemOnPrivateBus, StopLeavesTheBusAndTheWatcherForgetsTheName)
{
    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(StartRegistered());
    item->Stop();
    EXPECT_EQ(item->state(), StatusItemState::NoWatcher);
    EXPECT_TRUE(testing::WaitFor([&] { return !testing::NameHasOwner(bus.address(), itemName.c_str()); }));
}

TEST(StatusItem, NoBusToConnectToIsNoWatcherWithTheReason)
{
    auto item = platform::CreateStatusItem({"kestrun", "Dravik Task Manager", "SystemServices"}, {});
    platform::SetLastError(0);
    EXPECT_FALSE(item->Start("unix:path=/nonexistent/kestrun/bus"));
    EXPECT_NE(platform::GetLastError(), 0u);
    EXPECT_EQ(item->state(), StatusItemState::NoWatcher);
    EXPECT_EQ(item->PollFd(), -1);
    EXPECT_EQ(item->PollTimeoutMs(), -1);
    item->Process();
}

}  // namespace
}  // namespace kestrun
