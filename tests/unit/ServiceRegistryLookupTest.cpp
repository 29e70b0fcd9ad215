// The Services page's registry lookup, one algorithm over the settings keys of
// both backends: the simulated device's registry, and the Linux keys made from
// systemd's units (on a stand-in service manager) or from the init scripts.
#include "SimTestSupport.h"

#include "pages/core/ServiceRegistryLookup.h"
#include "platform/linux/LinuxServices.h"

#include <cerrno>
#include <filesystem>

#if __has_include(<systemd/sd-bus.h>)
#include "tests/support/StandInSystemd.h"
#define KESTRUN_TEST_HAVE_SD_BUS 1
#endif

namespace kestrun {
namespace {

using platform::Hive;
using platform::RegValue;
using platform::sim::testing::SmallDevice;

ServiceSettings Lookup(platform::ServiceKeys& keys, const std::wstring& prefix)
{
    ServiceSettings settings;
    LookupServiceRegistry(keys, prefix, settings);
    return settings;
}

TEST(ServiceRegistryLookup, ReadsTheKeyThatNamesThePrefix)
{
    auto sim = SmallDevice();
    const ServiceSettings http = Lookup(sim->services().Keys(), L"htp0:");
    EXPECT_EQ(http.displayName, L"Web Server");
    EXPECT_EQ(http.description, L"Serves pages");
    EXPECT_EQ(http.order, 50u);
}

TEST(ServiceRegistryLookup, AKeyWithoutAnIndexNeverMatches)
{
    auto sim = SmallDevice();
    ASSERT_TRUE(sim->registry().SetValue(Hive::LocalMachine, L"Services\\TELNETD", L"FriendlyName", RegValue::String(L"Telnet")));
    const ServiceSettings telnet = Lookup(sim->services().Keys(), L"TEL0:");
    EXPECT_EQ(telnet.displayName, L"");
    EXPECT_EQ(telnet.order, 0u);
}

TEST(ServiceRegistryLookup, ALaterMatchingKeyOverwritesAnEarlierOne)
{
    auto sim = SmallDevice();
    platform::Registry& reg = sim->registry();
    const std::wstring later = L"Services\\ZZHTTPD";
    ASSERT_TRUE(reg.SetValue(Hive::LocalMachine, later, L"Prefix", RegValue::String(L"HTP")));
    ASSERT_TRUE(reg.SetValue(Hive::LocalMachine, later, L"Index", RegValue::Dword(0)));
    ASSERT_TRUE(reg.SetValue(Hive::LocalMachine, later, L"DisplayName", RegValue::String(L"Second Web Server")));
    ASSERT_TRUE(reg.SetValue(Hive::LocalMachine, later, L"Order", RegValue::Dword(7)));
    const ServiceSettings http = Lookup(sim->services().Keys(), L"HTP0:");
    EXPECT_EQ(http.displayName, L"Second Web Server") << "no FriendlyName there: its DisplayName";
    EXPECT_EQ(http.description, L"Serves pages") << "what the later key lacks stays";
    EXPECT_EQ(http.order, 7u);
}

TEST(ServiceRegistryLookup, WithoutTheServicesKeyNothingIsRead)
{
    auto sim = SmallDevice();
    ASSERT_TRUE(sim->registry().DeleteKey(Hive::LocalMachine, L"Services"));
    const ServiceSettings http = Lookup(sim->services().Keys(), L"HTP0:");
    EXPECT_EQ(http.displayName, L"");
    EXPECT_EQ(http.order, 0u);
}

// ---- Linux ---------------------------------------------------------------------------------

std::unique_ptr<platform::linux_backend::LinuxServices> LinuxManager(const std::string& busAddress, const std::string& etc,
                                                                       std::chrono::milliseconds callTimeout = std::chrono::seconds(5))
{
    using namespace platform::linux_backend;
    SystemdOptions systemd;
    systemd.busAddress = busAddress;
    systemd.callTimeout = callTimeout;
    LsbOptions scripts;
    scripts.initDir = etc + "/init.d";
    scripts.rcRoot = etc;
    scripts.statusTimeout = std::chrono::milliseconds(300);
    return std::make_unique<LinuxServices>(std::make_unique<SystemdServices>(systemd), std::make_unique<LsbServices>(scripts),
                                           std::make_shared<DpkgIndex>(testing::FixturePath("dpkg")));
}

TEST(LinuxServiceSettings, WithoutAServiceManagerTheInitScriptsAnswerWithTheirStartOrder)
{
    char pattern[] = "/tmp/kestrun-lookup-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    std::filesystem::copy(testing::FixturePath("lsb"), dir, std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
    std::filesystem::remove(dir + "/init.d/hangs");
    auto manager = LinuxManager("unix:path=/nonexistent/kestrun/system_bus_socket", dir);
    std::optional<std::vector<platform::ServiceEntry>> entries = manager->EnumServices();
    ASSERT_TRUE(entries) << platform::Narrow(platform::LastErrorText());
    EXPECT_STREQ(manager->SourceName(), "init scripts");
    ASSERT_EQ(entries->size(), 3u);
    const ServiceSettings running = Lookup(manager->Keys(), L"running");
    EXPECT_EQ(running.displayName, L"Test daemon that runs");
    EXPECT_EQ(running.description, L"test daemon for the init script fixtures") << "the package owning /usr/sbin/runningd";
    EXPECT_EQ(running.order, 2u);
    EXPECT_EQ(Lookup(manager->Keys(), L"noheader").displayName, L"");
    EXPECT_EQ(Lookup(manager->Keys(), L"nothing").order, 0u);
    ASSERT_TRUE(manager->Control(L"stopped", platform::ServiceControl::Start));
    std::filesystem::remove_all(dir);
}

#ifdef KESTRUN_TEST_HAVE_SD_BUS

TEST(LinuxServiceSettings, SystemdUnitsGiveTheirDescriptionAndTheirPackagesSummary)
{
    testing::StandInSystemd bus;
    std::string why;
    if (!bus.Start("{}", why)) GTEST_SKIP() << why;
    ASSERT_TRUE(bus.AddService("ssh.service", "OpenBSD Secure Shell server", "/usr/sbin/sshd", "active"));
    ASSERT_TRUE(bus.AddService("local.service", "", "/opt/local/run", "inactive"));
    auto manager = LinuxManager(bus.address(), "/nonexistent/kestrun/etc");
    ASSERT_TRUE(manager->EnumServices()) << platform::Narrow(platform::LastErrorText());
    EXPECT_STREQ(manager->SourceName(), "systemd");

    const ServiceSettings ssh = Lookup(manager->Keys(), L"SSH.service");
    EXPECT_EQ(ssh.displayName, L"OpenBSD Secure Shell server");
    EXPECT_EQ(ssh.description, L"secure shell (SSH) server, for secure access from remote machines");
    EXPECT_EQ(ssh.order, 0u) << "systemd orders by dependencies";
    const ServiceSettings local = Lookup(manager->Keys(), L"local.service");
    EXPECT_EQ(local.displayName, L"");
    EXPECT_EQ(local.description, L"") << "no package owns it";
}

TEST(LinuxServiceSettings, ASlowServiceManagerIsReportedNotReplacedByTheInitScripts)
{
    testing::StandInSystemd bus;
    std::string why;
    if (!bus.Start("{}", why)) GTEST_SKIP() << why;
    auto manager = LinuxManager(bus.address(), testing::FixturePath("lsb"), std::chrono::milliseconds(300));
    bus.Freeze();
    EXPECT_FALSE(manager->EnumServices());
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
    EXPECT_STREQ(manager->SourceName(), "");
    bus.Resume();
    ASSERT_TRUE(manager->EnumServices()) << platform::Narrow(platform::LastErrorText());
    EXPECT_STREQ(manager->SourceName(), "systemd");
}

#endif

}  // namespace
}  // namespace kestrun
