// The simulated device's windows, services, stream devices, interfaces, files and registry.
#include "SimTestSupport.h"

#include "platform/sim/SimBackend.h"

#include <algorithm>
#include <cerrno>

namespace kestrun::platform::sim::testing {
namespace {

WindowId WindowTitled(SimPlatform& sim, const std::wstring& title)
{
    return sim.desktop().FindWindowByTitle(title).value_or(0);
}

// ---- Windows --------------------------------------------------------------------------------

TEST(SimWindows, EnumeratedTopmostFirstWithOwnersAndProcesses)
{
    auto sim = SmallDevice();
    Desktop& desktop = sim->desktop();
    std::vector<std::wstring> titles;
    for (WindowId w : desktop.EnumWindows()) titles.push_back(desktop.GetTitle(w));
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Stuck", L"Worker Tools", L"Worker"}));
    const WindowId worker = WindowTitled(*sim, L"Worker");
    const WindowId tools = WindowTitled(*sim, L"Worker Tools");
    EXPECT_EQ(desktop.GetOwner(tools), worker);
    EXPECT_EQ(desktop.GetOwner(worker), 0u);
    EXPECT_EQ(desktop.GetProcessId(worker), kWorker);
    EXPECT_TRUE(desktop.IsVisible(worker));
    EXPECT_EQ(worker & 1, 0u) << "ids are even";
}

TEST(SimWindows, FindByTitleIsExact)
{
    auto sim = SmallDevice();
    EXPECT_TRUE(sim->desktop().FindWindowByTitle(L"Worker"));
    EXPECT_FALSE(sim->desktop().FindWindowByTitle(L"worker"));
    EXPECT_FALSE(sim->desktop().FindWindowByTitle(L"Work"));
}

TEST(SimWindows, ClosingTheLastWindowEndsItsProgram)
{
    auto sim = SmallDevice();
    Desktop& desktop = sim->desktop();
    const WindowId tools = WindowTitled(*sim, L"Worker Tools");
    ASSERT_TRUE(desktop.PostClose(tools));
    EXPECT_FALSE(desktop.Exists(tools));
    EXPECT_NE(sim->device().FindProcess(kWorker), nullptr) << "its main window is still open";
    ASSERT_TRUE(desktop.PostClose(WindowTitled(*sim, L"Worker")));
    EXPECT_EQ(sim->device().FindProcess(kWorker), nullptr);
    EXPECT_EQ(sim->device().ExitCode(kWorker), 0);
}

TEST(SimWindows, AProgramThatDoesNotRespondKeepsItsWindow)
{
    auto sim = SmallDevice();
    const WindowId stuck = WindowTitled(*sim, L"Stuck");
    EXPECT_TRUE(sim->desktop().PostClose(stuck)) << "the request is posted";
    EXPECT_TRUE(sim->desktop().Exists(stuck));
    EXPECT_EQ(sim->device().FindWindow(stuck)->closeRequests, 1u);
    ASSERT_TRUE(sim->toolHelp().OpenProcess(kStuck)->Terminate(-1));
    EXPECT_FALSE(sim->desktop().Exists(stuck)) << "terminating the process takes its windows";
    EXPECT_FALSE(sim->desktop().PostClose(stuck));
}

TEST(SimWindows, ShowHideAndForeground)
{
    auto sim = SmallDevice();
    Desktop& desktop = sim->desktop();
    const WindowId worker = WindowTitled(*sim, L"Worker");
    ASSERT_TRUE(desktop.ShowWindow(worker, ShowCommand::Hide));
    EXPECT_FALSE(desktop.IsVisible(worker));
    ASSERT_TRUE(desktop.ShowWindow(worker, ShowCommand::ShowNormal));
    EXPECT_TRUE(desktop.IsVisible(worker));
    ASSERT_TRUE(desktop.SetForeground(worker | 1)) << "the lowest bit may be set";
    EXPECT_EQ(desktop.GetForeground(), worker);
    EXPECT_EQ(desktop.EnumWindows().front(), worker);
    EXPECT_FALSE(desktop.ShowWindow(0x999990, ShowCommand::Show));
}

TEST(SimWindows, SmallIconOnlyWhereTheWindowHasOne)
{
    auto sim = SmallDevice();
    std::optional<Image> icon = sim->desktop().GetSmallIcon(WindowTitled(*sim, L"Worker"), 16);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 16);
    EXPECT_EQ(icon->pixels.size(), 256u);
    EXPECT_EQ(icon->pixels[8 * 16 + 8], 0xFF336699u);
    EXPECT_FALSE(sim->desktop().GetSmallIcon(WindowTitled(*sim, L"Stuck"), 16));
}

// ---- Services -------------------------------------------------------------------------------

TEST(SimServiceManager, EnumeratesPrefixesModulesAndStates)
{
    auto sim = SmallDevice();
    std::optional<std::vector<ServiceEntry>> services = sim->services().EnumServices();
    ASSERT_TRUE(services);
    ASSERT_EQ(services->size(), 2u);
    EXPECT_EQ((*services)[0].prefix, L"HTP0:");
    EXPECT_EQ((*services)[0].dllName, L"httpd.dll");
    EXPECT_EQ((*services)[0].state, kServiceRunning);
    EXPECT_EQ((*services)[1].state, kServiceOff);
    EXPECT_NE((*services)[0].handle, (*services)[1].handle);
}

TEST(SimServiceManager, ControlChangesTheState)
{
    auto sim = SmallDevice();
    ServiceManager& services = sim->services();
    EXPECT_TRUE(services.Control(L"tel0:", ServiceControl::Start));
    EXPECT_EQ(sim->device().FindService(L"TEL0:")->entry.state, kServiceRunning);
    EXPECT_FALSE(services.Control(L"TEL0:", ServiceControl::Start)) << "already running";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EALREADY));
    EXPECT_TRUE(services.Control(L"TEL0:", ServiceControl::Refresh));
    EXPECT_TRUE(services.Control(L"TEL0:", ServiceControl::Stop));
    EXPECT_EQ(sim->device().FindService(L"TEL0:")->entry.state, kServiceOff);
    EXPECT_FALSE(services.Control(L"XYZ0:", ServiceControl::Start));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(sim->device().serviceControls.size(), 4u);
}

TEST(SimServiceManager, SettingsKeysNameTheirServiceByPrefixAndIndex)
{
    auto sim = SmallDevice();
    ServiceKeys& keys = sim->services().Keys();
    EXPECT_EQ(keys.SubKeys(), (std::vector<std::wstring>{L"HTTPD", L"TELNETD"}));
    EXPECT_EQ(keys.NamedPrefix(L"HTTPD"), L"HTP0:");
    EXPECT_FALSE(keys.NamedPrefix(L"TELNETD")) << "a key without an index names no service";
    EXPECT_FALSE(keys.NamedPrefix(L"NOSUCH"));
    EXPECT_EQ(keys.Number(L"HTTPD", L"Order"), 50u);
    EXPECT_EQ(keys.String(L"httpd", L"FriendlyName"), L"Web Server");
    EXPECT_FALSE(keys.String(L"HTTPD", L"Order")) << "a number is no string";
    EXPECT_FALSE(keys.Number(L"HTTPD", L"Prefix"));
    EXPECT_EQ(sim->registry().QueryValue(Hive::LocalMachine, L"Services\\HTTPD", L"Dll")->string, L"httpd.dll");
    sim->device().InjectFailure(SimCall::Registry, EACCES);
    EXPECT_FALSE(keys.SubKeys()) << "the keys are read through the device's registry";
}

TEST(SimServiceManager, OnlyARunningServiceRereadsItsConfiguration)
{
    auto sim = SmallDevice();
    EXPECT_TRUE(sim->services().Control(L"HTP0:", ServiceControl::Refresh));
    EXPECT_FALSE(sim->services().Control(L"TEL0:", ServiceControl::Refresh));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    EXPECT_EQ(sim->services().EnumServices()->at(0).dllPath, L"\\Windows\\httpd.dll");
}

TEST(SimServiceManager, ARemovedServiceIsNoLongerEnumeratedButItsKeyStays)
{
    auto sim = SmallDevice();
    ASSERT_TRUE(sim->device().RemoveService(L"htp0:"));
    EXPECT_FALSE(sim->device().RemoveService(L"HTP0:"));
    ASSERT_EQ(sim->services().EnumServices()->size(), 1u);
    EXPECT_EQ(sim->services().Keys().NamedPrefix(L"HTTPD"), L"HTP0:");
}

// ---- Stream devices ---------------------------------------------------------------------------

TEST(SimDeviceManager, FindsDevicesByLegacyNamePattern)
{
    auto sim = SmallDevice();
    EXPECT_EQ(sim->devices().FindDevices(L"*")->size(), 3u);
    std::optional<std::vector<DeviceInfo>> com = sim->devices().FindDevices(L"com?:");
    ASSERT_TRUE(com);
    ASSERT_EQ(com->size(), 1u);
    EXPECT_EQ((*com)[0].legacyName, L"COM1:");
    EXPECT_EQ((*com)[0].name, L"\\$device\\COM1");
    EXPECT_TRUE(sim->devices().FindDevices(L"USB*")->empty());
}

TEST(SimDeviceManager, DeviceKeyHoldsDriverSettingsAndTheActiveKeyPointsAtIt)
{
    auto sim = SmallDevice();
    Registry& reg = sim->registry();
    const DeviceInfo nds = sim->devices().FindDevices(L"NDS0:")->at(0);
    EXPECT_EQ(nds.deviceKey, L"Comm\\NE20001");
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, nds.deviceKey, L"Dll")->string, L"ne2000.dll");
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, nds.deviceKey, L"SysIntr")->dword, 19u);
    EXPECT_FALSE(reg.QueryValue(Hive::LocalMachine, nds.deviceKey, L"IRQ"));
    std::optional<RegValue> io = reg.QueryValue(Hive::LocalMachine, nds.deviceKey, L"IoBase");
    ASSERT_TRUE(io);
    EXPECT_EQ(io->type, ValueType::MultiString);
    EXPECT_EQ(io->multiString, (std::vector<std::wstring>{L"300", L"310"}));
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, nds.deviceKey, L"MemBase")->type, ValueType::String);
    const DeviceInfo com = sim->devices().FindDevices(L"COM1:")->at(0);
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, com.deviceKey, L"IoBase")->dword, 0x3F8u);
    const std::wstring active = sim->device().FindDevice(L"COM1:")->activeKey;
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, active, L"Key")->string, com.deviceKey);
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, active, L"Name")->string, L"COM1:");
}

TEST(SimDeviceManager, PowerStatesAndUnansweredQueries)
{
    auto sim = SmallDevice();
    EXPECT_EQ(sim->devices().GetDevicePower(L"COM1:"), 0);
    EXPECT_EQ(sim->devices().GetDevicePower(L"nds0:"), 7) << "odd states are reported as they are";
    EXPECT_FALSE(sim->devices().GetDevicePower(L"AFD1:"));
    ASSERT_TRUE(sim->device().SetDevicePower(L"COM1:", -1));
    EXPECT_FALSE(sim->devices().GetDevicePower(L"COM1:")) << "a device that stops answering";
    EXPECT_FALSE(sim->devices().GetDevicePower(L"LPT9:"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
}

TEST(SimDeviceManager, DeactivationRemovesTheDeviceAndItsActiveKey)
{
    auto sim = SmallDevice();
    const SimStreamDevice com = *sim->device().FindDevice(L"COM1:");
    ASSERT_TRUE(sim->devices().DeactivateDevice(com.info.handle));
    EXPECT_EQ(sim->devices().FindDevices(L"*")->size(), 2u);
    EXPECT_FALSE(sim->registry().KeyExists(Hive::LocalMachine, com.activeKey));
    EXPECT_TRUE(sim->registry().KeyExists(Hive::LocalMachine, com.info.deviceKey)) << "the driver's settings stay";
    EXPECT_FALSE(sim->devices().DeactivateDevice(com.info.handle));
    EXPECT_FALSE(sim->devices().DeactivateDevice(sim->device().FindDevice(L"AFD1:")->info.handle));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EBUSY));
}

// ---- Registry routing -----------------------------------------------------------------------------

// A user store that remembers which keys it was asked about.
class RecordingStore final : public Registry {
public:
    std::vector<std::wstring> keys;
    SimHive hive;

    bool KeyExists(Hive, const std::wstring& k) override { keys.push_back(k); return hive.KeyExists(k); }
    bool CreateKey(Hive, const std::wstring& k) override { keys.push_back(k); return hive.CreateKey(k); }
    bool DeleteKey(Hive, const std::wstring& k) override { keys.push_back(k); return hive.DeleteKey(k); }
    std::optional<RegValue> QueryValue(Hive, const std::wstring& k, const std::wstring& n) override { keys.push_back(k); return hive.QueryValue(k, n); }
    bool SetValue(Hive, const std::wstring& k, const std::wstring& n, const RegValue& v) override { keys.push_back(k); return hive.SetValue(k, n, v); }
    bool DeleteValue(Hive, const std::wstring& k, const std::wstring& n) override { keys.push_back(k); return hive.DeleteValue(k, n); }
    std::optional<std::vector<std::wstring>> EnumSubKeys(Hive, const std::wstring& k) override { keys.push_back(k); return hive.EnumSubKeys(k); }
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(Hive, const std::wstring& k) override { keys.push_back(k); return hive.EnumValues(k); }
    bool Flush(Hive) override { ++flushes; return true; }
    int flushes = 0;
};

TEST(SimRegistryRouting, DeviceKeysOfTheUserHiveNeverReachTheStore)
{
    auto sim = SmallDevice();
    auto store = std::make_unique<RecordingStore>();
    RecordingStore* recorded = store.get();
    std::unique_ptr<Registry> reg = CreateSimRegistry(sim->device(), std::move(store));
    const std::wstring options = L"Software\\Dravik\\Dravik Task Manager\\Options";
    ASSERT_TRUE(reg->SetValue(Hive::CurrentUser, options, L"AlwaysOnTop", RegValue::Dword(1)));
    EXPECT_EQ(recorded->hive.QueryValue(options, L"AlwaysOnTop")->dword, 1u) << "options go to the store";
    EXPECT_TRUE(reg->QueryValue(Hive::CurrentUser, L"comm\\adapternamemappings", L"NE20001"));
    ASSERT_TRUE(reg->SetValue(Hive::CurrentUser, L"Comm\\AdapterNameMappings\\Sub", L"x", RegValue::Dword(2)));
    EXPECT_TRUE(reg->KeyExists(Hive::CurrentUser, L"Comm"));
    ASSERT_TRUE(reg->SetValue(Hive::CurrentUser, L"Comm\\Other", L"y", RegValue::Dword(3)));
    EXPECT_EQ(reg->EnumSubKeys(Hive::CurrentUser, L"Comm"), (std::vector<std::wstring>{L"Other", L"AdapterNameMappings"}));
    for (const std::wstring& key : recorded->keys)
        EXPECT_EQ(Lower(key).find(L"adapternamemappings"), std::wstring::npos) << Narrow(key);
    EXPECT_TRUE(reg->Flush(Hive::CurrentUser));
    EXPECT_EQ(recorded->flushes, 1);
}

TEST(SimRegistryRouting, ProfileSeedHasEveryValueType)
{
    auto sim = SmallDevice();
    Registry& reg = sim->registry();
    std::optional<std::vector<std::pair<std::wstring, RegValue>>> values = reg.EnumValues(Hive::LocalMachine, L"ident");
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 4u);
    EXPECT_EQ((*values)[0].second.type, ValueType::String);
    EXPECT_EQ((*values)[1].second.dword, 7u);
    EXPECT_EQ((*values)[2].second.multiString.size(), 2u);
    EXPECT_EQ((*values)[3].second.binary, (std::vector<uint8_t>{0x00, 0xFF, 0x10}));
    EXPECT_FALSE(reg.QueryValue(Hive::LocalMachine, L"Ident", L"Missing"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
    EXPECT_TRUE(reg.DeleteKey(Hive::LocalMachine, L"Ident"));
    EXPECT_FALSE(reg.KeyExists(Hive::LocalMachine, L"Ident"));
}

// ---- Files ---------------------------------------------------------------------------------------

TEST(SimShell, ModulesAndProgramsAreFilesWithTheirAttributes)
{
    auto sim = SmallDevice();
    std::optional<FileInfo> core = sim->shell().GetFileInfo(L"\\windows\\COREDLL.DLL");
    ASSERT_TRUE(core);
    EXPECT_EQ(core->attributes & (kFileInRom | kFileRomModule), uint32_t{kFileInRom | kFileRomModule});
    EXPECT_EQ(core->size, 64u * 1024u);
    std::optional<FileInfo> app = sim->shell().GetFileInfo(L"\\Program Files\\Worker\\app.dll");
    ASSERT_TRUE(app);
    EXPECT_EQ(app->attributes & kFileInRom, 0u);
    EXPECT_TRUE(sim->shell().GetFileInfo(L"\\Program Files\\Worker\\worker.exe"));
    EXPECT_TRUE(sim->shell().GetFileInfo(L"\\Windows\\serial.dll")) << "drivers lie in \\Windows";
    EXPECT_FALSE(sim->shell().GetFileInfo(L"\\Windows\\nothing.dll"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

TEST(SimShell, VersionStringsAndHelpRequests)
{
    auto sim = SmallDevice();
    std::optional<VersionInfo> version = sim->shell().GetVersionInfo(L"\\Windows\\coredll.dll");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->companyName, L"Test Co");
    EXPECT_FALSE(sim->shell().GetVersionInfo(L"\\Program Files\\Worker\\app.dll")) << "no version resource";
    EXPECT_TRUE(sim->shell().StartHelpViewer(L"\\windows\\kestrun.htm", L"#processes"));
    ASSERT_EQ(sim->device().helpRequests.size(), 1u);
    EXPECT_EQ(sim->device().helpRequests[0].second, L"#processes");
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
