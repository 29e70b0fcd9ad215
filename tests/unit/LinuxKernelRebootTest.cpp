// Reboot through logind, against a stand-in logind (python3-dbusmock's
// template) on a private bus. Nothing here can reach reboot(2): only the
// logind request is called, never Kernel::Reboot.
#include "platform/LastError.h"
#include "platform/linux/LogindReboot.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if __has_include(<systemd/sd-bus.h>)
#include <systemd/sd-bus.h>
#include "tests/support/PrivateSessionBus.h"
#define KESTRUN_TEST_HAVE_SD_BUS 1
#endif

extern char** environ;

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

#ifdef KESTRUN_TEST_HAVE_SD_BUS

using kestrun::testing::SpawnProcess;
using kestrun::testing::StopProcess;

// Polls until done() or about ten seconds have gone; the stand-ins take a
// moment to come up on a busy machine.
template <typename Done>
bool WaitFor(Done done)
{
    for (int i = 0; i < 200; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

bool NameHasOwner(const std::string& address, const char* name)
{
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return false;
    bool owned = false;
    if (sd_bus_set_address(bus, address.c_str()) >= 0 && sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int has = 0;
        if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &reply, "s", name) >= 0 &&
            sd_bus_message_read(reply, "b", &has) >= 0)
            owned = has != 0;
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    sd_bus_flush_close_unref(bus);
    return owned;
}

// A private dbus-daemon, and on it optionally a stand-in logind that logs its calls.
class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-logind-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        address_ = "unix:path=" + dir_ + "/bus";
        daemon_ = SpawnProcess({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=" + address_});
        ASSERT_GT(daemon_, 0);
        // The socket's file is there from its bind, a moment before the daemon listens on it.
        ASSERT_TRUE(WaitFor([&] { return fs::exists(dir_ + "/bus") && kestrun::testing::BusClient(address_).ok(); }))
            << "dbus-daemon did not start";
    }

    void StartLogind(const std::string& canReboot)
    {
        if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3 for dbusmock";
        mock_ = SpawnProcess({"/usr/bin/python3", "-m", "dbusmock", "--system", "-t", "logind", "-p",
                       "{\"CanReboot\": \"" + canReboot + "\"}", "-l", dir_ + "/calls.log"},
                      {"DBUS_SYSTEM_BUS_ADDRESS=" + address_});
        ASSERT_GT(mock_, 0);
        ASSERT_TRUE(WaitFor([&] { return NameHasOwner(address_, "org.freedesktop.login1"); }))
            << "the stand-in logind did not come up";
    }

    std::string Calls() const
    {
        std::ifstream in(dir_ + "/calls.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void TearDown() override
    {
        StopProcess(mock_);
        StopProcess(daemon_);
        fs::remove_all(dir_);
    }

    std::string dir_, address_;
    pid_t daemon_ = -1, mock_ = -1;
};

TEST_F(PrivateBus, RebootIsRequestedFromLogindWhenItMay)
{
    StartLogind("yes");
    EXPECT_EQ(RequestRebootThroughLogind(address_.c_str()), LogindReply::Requested);
    const std::string calls = Calls();
    EXPECT_NE(calls.find("CanReboot"), std::string::npos) << calls;
    EXPECT_NE(calls.find("Reboot False"), std::string::npos) << calls;  // not interactive
}

TEST_F(PrivateBus, LogindSayingNoIsARefusalWithoutARebootCall)
{
    for (const char* answer : {"no", "na"}) {
        StartLogind(answer);
        SetLastError(0);
        EXPECT_EQ(RequestRebootThroughLogind(address_.c_str()), LogindReply::Refused) << answer;
        EXPECT_NE(GetLastError(), 0u) << answer;
        EXPECT_EQ(Calls().find("Reboot "), std::string::npos) << answer << ": " << Calls();
        StopProcess(mock_);
        mock_ = -1;
        fs::remove(dir_ + "/calls.log");
        WaitFor([&] { return !NameHasOwner(address_, "org.freedesktop.login1"); });
    }
}

TEST_F(PrivateBus, ABusWithoutLogindIsUnavailableSoTheCallerMayFallBack)
{
    SetLastError(0);
    EXPECT_EQ(RequestRebootThroughLogind(address_.c_str()), LogindReply::Unavailable);
    EXPECT_NE(GetLastError(), 0u);
}

TEST(LogindReboot, NoBusAtAllIsUnavailable)
{
    SetLastError(0);
    EXPECT_EQ(RequestRebootThroughLogind("unix:path=/nonexistent/kestrun/bus"), LogindReply::Unavailable);
    EXPECT_NE(GetLastError(), 0u);
}

#endif  // KESTRUN_TEST_HAVE_SD_BUS

}  // namespace
}  // namespace kestrun::platform::linux_backend
