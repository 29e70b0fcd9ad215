// The systemd client against a stand-in service manager (a dbusmock template)
// on a private system bus of its own.
#include "platform/LastError.h"
#include "platform/Types.h"
#include "platform/linux/SystemdServices.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <thread>

#if __has_include(<systemd/sd-bus.h>)
#include "tests/support/StandInSystemd.h"
#define KESTRUN_TEST_HAVE_SD_BUS 1
#endif

namespace kestrun::platform::linux_backend {
namespace {

using namespace std::chrono_literals;

TEST(SystemdStates, ActiveStatesMapOntoTheServiceStates)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"active", kServiceRunning},         {"activating", kServiceStartingUp},
        {"reloading", kServiceStartingUp},   {"deactivating", kServiceShuttingDown},
        {"inactive", kServiceOff},           {"failed", kServiceUninitialized},
        {"maintenance", kServiceUnknown},    {"refreshing", kServiceUnknown},
        {"", kServiceUnknown},               {"Active", kServiceUnknown},
    };
    for (const auto& [active, state] : cases) EXPECT_EQ(ServiceStateOfActiveState(active), state) << active;
}

#ifdef KESTRUN_TEST_HAVE_SD_BUS

class StandInBus : public ::testing::Test {
protected:
    void SetUp() override { Start("{\"job_ms\": 200}"); }

    void Start(const std::string& parameters)
    {
        std::string why;
        if (!manager_.Start(parameters, why)) GTEST_SKIP() << why;
        options_.busAddress = manager_.address();
        options_.callTimeout = 5s;
        options_.jobTimeout = 10s;
    }

    std::map<std::wstring, LinuxService> ListByName(SystemdServices& services)
    {
        std::map<std::wstring, LinuxService> byName;
        std::optional<std::vector<LinuxService>> list = services.List();
        EXPECT_TRUE(list) << Narrow(LastErrorText());
        if (list)
            for (LinuxService& s : *list) byName[s.entry.prefix] = std::move(s);
        return byName;
    }

    int32_t StateOf(SystemdServices& services, const std::wstring& name) { return ListByName(services)[name].entry.state; }

    testing::StandInSystemd manager_;
    SystemdOptions options_;
};

TEST_F(StandInBus, ListsLoadedServicesAndInstalledUnitFilesInNameOrder)
{
    ASSERT_TRUE(manager_.AddService("ssh.service", "OpenBSD Secure Shell server", "/usr/sbin/sshd", "active"));
    ASSERT_TRUE(manager_.AddService("cron.service", "Regular background program processing daemon", "/usr/sbin/cron", "inactive"));
    ASSERT_TRUE(manager_.AddService("broken.service", "Broken", "", "failed"));
    ASSERT_TRUE(manager_.AddService("dbus.socket", "D-Bus System Message Bus Socket", "", "active"));
    ASSERT_TRUE(manager_.AddUnitFile(testing::StandInSystemd::FixturePath("systemd/backup.service"), "disabled"));
    ASSERT_TRUE(manager_.AddUnitFile(testing::StandInSystemd::FixturePath("systemd/getty@.service"), "enabled"));
    ASSERT_TRUE(manager_.AddUnitFile("/lib/systemd/system/ssh.service", "enabled"));
    ASSERT_TRUE(manager_.AddUnitFile("/lib/systemd/system/sshd.service", "alias"));

    SystemdServices services(options_);
    std::optional<std::vector<LinuxService>> list = services.List();
    ASSERT_TRUE(list) << Narrow(LastErrorText());
    std::vector<std::wstring> names;
    for (const LinuxService& s : *list) names.push_back(s.entry.prefix);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"backup.service", L"broken.service", L"cron.service", L"ssh.service"}))
        << "no sockets, templates, aliases or a loaded unit twice";

    std::map<std::wstring, LinuxService> byName = ListByName(services);
    EXPECT_EQ(byName[L"ssh.service"].entry.state, kServiceRunning);
    EXPECT_EQ(byName[L"ssh.service"].entry.dllName, L"sshd");
    EXPECT_EQ(byName[L"ssh.service"].entry.dllPath, L"/usr/sbin/sshd");
    EXPECT_EQ(byName[L"ssh.service"].displayName, L"OpenBSD Secure Shell server");
    EXPECT_FALSE(byName[L"ssh.service"].order);
    EXPECT_EQ(byName[L"cron.service"].entry.state, kServiceOff);
    EXPECT_EQ(byName[L"broken.service"].entry.state, kServiceUninitialized);
    EXPECT_EQ(byName[L"broken.service"].entry.dllName, L"") << "a service without ExecStart";
    EXPECT_EQ(byName[L"backup.service"].entry.state, kServiceOff);
    EXPECT_EQ(byName[L"backup.service"].entry.dllName, L"backup-run") << "read from the unit file";
    EXPECT_EQ(byName[L"backup.service"].displayName, L"Nightly backup");
}

TEST_F(StandInBus, AServiceGoesOffStartingUpRunningAndOffAgain)
{
    ASSERT_TRUE(manager_.AddService("web.service", "Web server", "/usr/sbin/webd", "inactive"));
    SystemdServices services(options_);
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceOff);

    ASSERT_TRUE(manager_.StartElsewhere("web.service", 1500));
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceStartingUp) << "while its start job runs";
    ASSERT_TRUE(services.Control("web.service", ServiceControl::Stop)) << Narrow(LastErrorText());
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceOff) << "a control returns once its job is done";

    ASSERT_TRUE(services.Control("web.service", ServiceControl::Start)) << Narrow(LastErrorText());
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceRunning);
    ASSERT_TRUE(services.Control("web.service", ServiceControl::Refresh)) << Narrow(LastErrorText());
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceRunning);
    ASSERT_TRUE(services.Control("web.service", ServiceControl::Stop)) << Narrow(LastErrorText());
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceOff);
}

TEST_F(StandInBus, AnInstalledUnitThatIsNotLoadedCanBeStarted)
{
    ASSERT_TRUE(manager_.AddUnitFile(testing::StandInSystemd::FixturePath("systemd/backup.service"), "disabled"));
    SystemdServices services(options_);
    EXPECT_EQ(StateOf(services, L"backup.service"), kServiceOff);
    ASSERT_TRUE(services.Control("backup.service", ServiceControl::Start)) << Narrow(LastErrorText());
    std::map<std::wstring, LinuxService> byName = ListByName(services);
    EXPECT_EQ(byName.size(), 1u);
    EXPECT_EQ(byName[L"backup.service"].entry.state, kServiceRunning);
    EXPECT_EQ(byName[L"backup.service"].entry.dllName, L"backup-run");
}

struct FailedControl {
    const char* what;
    const char* unit;
    ServiceControl code;
    uint32_t error;
    const wchar_t* text;
};

TEST_F(StandInBus, FailuresCarryTheServiceManagersErrorText)
{
    ASSERT_TRUE(manager_.AddService("bad.service", "Fails to start", "/usr/sbin/bad", "inactive", "fail"));
    ASSERT_TRUE(manager_.AddService("idle.service", "Not running", "/usr/sbin/idle", "inactive"));
    SystemdServices services(options_);
    const FailedControl cases[] = {
        {"a failed job", "bad.service", ServiceControl::Start, EIO, L"The job for bad.service ended with the result \"failed\"."},
        {"a reload of an inactive unit", "idle.service", ServiceControl::Refresh, EIO,
         L"org.freedesktop.systemd1.UnitInactive: Unit idle.service is not active."},
        {"an unknown unit", "nope.service", ServiceControl::Start, ENOENT,
         L"org.freedesktop.systemd1.NoSuchUnit: Unit nope.service not found."},
    };
    for (const FailedControl& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(services.Control(c.unit, c.code)) << c.what;
        EXPECT_EQ(LastErrorText(), c.text) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(StateOf(services, L"bad.service"), kServiceUninitialized) << "failed";
}

TEST_F(StandInBus, AServiceManagerThatNeverAnswersGivesABoundedWait)
{
    ASSERT_TRUE(manager_.AddService("web.service", "Web server", "/usr/sbin/webd", "inactive"));
    ASSERT_TRUE(manager_.AddService("stuck.service", "Never starts", "/usr/sbin/stuck", "inactive", "hang"));
    options_.callTimeout = 300ms;
    options_.jobTimeout = 600ms;
    SystemdServices services(options_);
    ASSERT_TRUE(services.List());

    EXPECT_FALSE(services.Control("stuck.service", ServiceControl::Start)) << "its job never ends";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_EQ(LastErrorText(), L"The job for stuck.service did not finish within 1 s.");

    manager_.Freeze();
    EXPECT_FALSE(services.List());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_EQ(LastErrorText(), L"The service manager did not answer within 1 s.");
    EXPECT_FALSE(services.Absent()) << "a service manager that is there but slow is no reason to fall back";
    EXPECT_FALSE(services.Control("web.service", ServiceControl::Start));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));

    manager_.Resume();
    std::this_thread::sleep_for(500ms);  // the start that was asked for meanwhile ends
    EXPECT_EQ(StateOf(services, L"web.service"), kServiceRunning) << "the same client answers again";
}

TEST_F(StandInBus, SubscribesOnceAndReadsEachUnitsProgramOnce)
{
    ASSERT_TRUE(manager_.AddService("a.service", "A", "/usr/bin/a", "inactive"));
    SystemdServices services(options_);
    ASSERT_TRUE(services.Control("a.service", ServiceControl::Start));
    ASSERT_TRUE(services.Control("a.service", ServiceControl::Stop));
    EXPECT_EQ(manager_.Subscribers(), 1u);
    ASSERT_TRUE(manager_.AddService("b.service", "B", "/usr/bin/b", "inactive"));
    ListByName(services);
    ListByName(services);
    EXPECT_EQ(manager_.PropertyReads(), 2u) << "one ExecStart read per unit, at its first enumeration";
}

TEST_F(StandInBus, UnitsThatGoAreNotListed)
{
    ASSERT_TRUE(manager_.AddService("a.service", "A", "/usr/bin/a", "inactive"));
    ASSERT_TRUE(manager_.AddService("b.service", "B", "/usr/bin/b", "inactive"));
    SystemdServices services(options_);
    EXPECT_EQ(ListByName(services).size(), 2u);
    ASSERT_TRUE(manager_.RemoveService("a.service"));
    std::map<std::wstring, LinuxService> byName = ListByName(services);
    EXPECT_EQ(byName.size(), 1u);
    EXPECT_EQ(byName.count(L"b.service"), 1u);
}

TEST(SystemdServices, NoBusOrNoManagerOnItIsAbsence)
{
    SystemdOptions options;
    options.busAddress = "unix:path=/nonexistent/kestrun/system_bus_socket";
    SystemdServices noBus(options);
    EXPECT_FALSE(noBus.List());
    EXPECT_TRUE(noBus.Absent());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));

    testing::StandInSystemd bus;
    std::string why;
    if (!bus.Start("{}", why, false)) GTEST_SKIP() << why;
    options.busAddress = bus.address();
    SystemdServices nobodyThere(options);
    EXPECT_FALSE(nobodyThere.List());
    EXPECT_TRUE(nobodyThere.Absent());
    EXPECT_NE(LastErrorText().find(L"org.freedesktop.DBus.Error.ServiceUnknown"), std::wstring::npos) << Narrow(LastErrorText());
    EXPECT_FALSE(nobodyThere.Control("x.service", ServiceControl::Start));
    EXPECT_TRUE(nobodyThere.Absent());
}

#endif  // KESTRUN_TEST_HAVE_SD_BUS

}  // namespace
}  // namespace kestrun::platform::linux_backend
