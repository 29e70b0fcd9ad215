// The notification icon with real windows: as a status item on a private session
// bus, driven by the toolkit's own loop, and on a display with neither a panel
// nor a notification area.
#include "app/TrayIcon.h"
#include "display/core/MessageBox.h"
#include "tests/support/PrivateSessionBus.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/taskbar.h>
#include <wx/utils.h>

#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kestrun {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

// Points the program's session bus at address for the life of the object.
class SessionBusAddress {
public:
    explicit SessionBusAddress(const std::string& address)
    {
        if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) m_old = old;
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }
    ~SessionBusAddress()
    {
        if (m_old.empty())
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            setenv("DBUS_SESSION_BUS_ADDRESS", m_old.c_str(), 1);
    }

private:
    std::string m_old;
};

class NoBoxes {
public:
    NoBoxes()
        : m_previous(SetMessageBoxHandler([this](const MessageBoxRequest& request) {
              texts.push_back(request.text);
              return kIdOk;
          }))
    {
    }
    ~NoBoxes() { SetMessageBoxHandler(m_previous); }
    std::vector<std::wstring> texts;

private:
    MessageBoxHandler m_previous;
};

class TrayIconOnPrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(wxTaskBarIcon::IsAvailable()) << "the test display has no notification area";
        ASSERT_TRUE(bus.ok());
        ASSERT_TRUE(client.ok());
        frame = new wxFrame(nullptr, wxID_ANY, "Dravik Task Manager", wxDefaultPosition, wxSize(300, 200));
        frame->Show();
        tray = std::make_unique<CTrayIcon>([this] { return frame->IsShown(); }, [this] { frame->Hide(); },
                                           [this] { frame->Show(); });
    }
    void TearDown() override
    {
        tray.reset();
        frame->Destroy();
        wxTheApp->ProcessPendingEvents();
    }

    // Runs the toolkit's loop (which runs the item) and the test's client.
    bool Pump(const std::function<bool()>& done)
    {
        for (int i = 0; i < 500; ++i) {
            if (done()) return true;
            wxYield();
            pollfd fd = client.PollFd();
            poll(&fd, 1, 20);
            client.Process();
        }
        return done();
    }
    std::shared_ptr<testing::BusReply> Activate()
    {
        auto reply = client.Call(itemName, "/StatusNotifierItem", kItemInterface, "Activate", "ii", 0, 0);
        Pump([&] { return reply->done; });
        return reply;
    }

    testing::PrivateSessionBus bus;
    testing::BusClient client{bus.address()};
    SessionBusAddress address{bus.address()};
    NoBoxes boxes;
    wxFrame* frame = nullptr;
    std::unique_ptr<CTrayIcon> tray;
    const std::string itemName = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
};

TEST_F(TrayIconOnPrivateBus, ActivateHidesTheShownWindowAndRestoresTheHiddenOne)
{
    ASSERT_TRUE(bus.StartWatcher());
    tray->Create();
    ASSERT_TRUE(Pump([&] { return tray->router().statusItemShown(); }));
    EXPECT_TRUE(tray->IconShown());
    EXPECT_FALSE(tray->router().trayIconShown()) << "one icon only";

    ASSERT_EQ(Activate()->error, "");
    EXPECT_FALSE(frame->IsShown());
    ASSERT_EQ(Activate()->error, "");
    EXPECT_TRUE(frame->IsShown());
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(TrayIconOnPrivateBus, AWatcherThatComesLaterGetsTheItemAndOneThatGoesLeavesTheTrayIcon)
{
    ::testing::internal::CaptureStderr();
    tray->Create();
    ASSERT_TRUE(Pump([&] { return tray->router().trayIconShown(); }));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("The taskbar notification icon cannot be added."), std::string::npos) << said;
    EXPECT_FALSE(tray->IconShown());

    ASSERT_TRUE(bus.StartWatcher());
    ASSERT_TRUE(Pump([&] { return tray->router().statusItemShown(); }));
    EXPECT_FALSE(tray->router().trayIconShown());
    tray->UpdateTrayIcon(100);

    bus.StopWatcher();
    ASSERT_TRUE(Pump([&] { return tray->router().trayIconShown(); }));
    EXPECT_EQ(tray->state().tooltip(), L"CPU Load: 100%");
    EXPECT_TRUE(boxes.texts.empty());
}

TEST(TrayIconWithoutBusOrTray, SaysOnceOnStandardErrorAndOpensNoBox)
{
    ASSERT_FALSE(wxTaskBarIcon::IsAvailable()) << "the test display has no notification area";
    SessionBusAddress address("unix:path=/nonexistent/kestrun/bus");
    NoBoxes boxes;
    ::testing::internal::CaptureStderr();
    {
        CTrayIcon tray([] { return true; }, [] {}, [] {});
        tray.Create();
        tray.UpdateTrayIcon(55);
        tray.UpdateTrayIcon(100);
        EXPECT_EQ(tray.state().iconIndex(), 11);
        EXPECT_EQ(tray.state().tooltip(), L"CPU Load: 100%");
        EXPECT_FALSE(tray.IconShown());
        tray.Destroy();
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "kestrun: The taskbar notification icon cannot be added.\n");
    EXPECT_TRUE(boxes.texts.empty());
}

}  // namespace
}  // namespace kestrun
