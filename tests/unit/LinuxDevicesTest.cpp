// The Linux device manager and the machine registry's device keys, against
// /sys and /proc trees the tests build, and against this machine's /sys (read
// only: no test unbinds a real device).
#include "platform/LastError.h"
#include "platform/common/OverlayRegistry.h"
#include "platform/common/RegistryStore.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

// A machine in a temporary directory: sys/ and proc/ below it.
class FixtureMachine {
public:
    FixtureMachine()
    {
        char pattern[] = "/tmp/kestrun-sys-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::create_directories(root_ / "sys/dev/char");
        fs::create_directories(root_ / "sys/bus");
        fs::create_directories(root_ / "proc");
    }
    ~FixtureMachine()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    FixtureMachine(const FixtureMachine&) = delete;
    FixtureMachine& operator=(const FixtureMachine&) = delete;

    [[nodiscard]] LinuxRoots roots() const
    {
        LinuxRoots roots;
        roots.proc = (root_ / "proc").string();
        roots.sys = (root_ / "sys").string();
        return roots;
    }
    [[nodiscard]] fs::path sys(const std::string& relative) const { return root_ / "sys" / relative; }

    void File(const std::string& relative, const std::string& text) const
    {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    // A relative link, as sysfs makes them: link and target both below sys/.
    void Link(const std::string& link, const std::string& target) const
    {
        const fs::path path = sys(link);
        fs::create_directories(path.parent_path());
        fs::create_symlink(fs::relative(sys(target), path.parent_path()), path);
    }
    [[nodiscard]] std::string Read(const std::string& relative) const
    {
        std::ifstream in(root_ / relative);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // A driver of a bus, with an unbind file when the bus has one, and its module.
    void Driver(const std::string& bus, const std::string& driver, bool unbind, const std::string& module = {}) const
    {
        const std::string dir = "bus/" + bus + "/drivers/" + driver;
        fs::create_directories(sys(dir));
        if (unbind) File("sys/" + dir + "/unbind", "");
        if (!module.empty()) {
            fs::create_directories(sys("module/" + module));
            Link(dir + "/module", "module/" + module);
        }
    }
    // A bus device at devices/PATH, listed in its bus, bound to driver (none: empty).
    void BusDevice(const std::string& bus, const std::string& path, const std::string& driver) const
    {
        const std::string name = fs::path(path).filename().string();
        fs::create_directories(sys("devices/" + path));
        fs::create_directories(sys("bus/" + bus + "/drivers"));
        Link("devices/" + path + "/subsystem", "bus/" + bus);
        Link("bus/" + bus + "/devices/" + name, "devices/" + path);
        if (!driver.empty()) Link("devices/" + path + "/driver", "bus/" + bus + "/drivers/" + driver);
    }

private:
    fs::path root_;
};

// The test machine: a PCI network card with I/O and memory BARs and MSI-X
// interrupts and its virtio device, a serial port on a PNP device, a PCI
// device without driver, a virtual character device, and a platform device
// whose power attribute cannot be read.
void BuildMachine(const FixtureMachine& m)
{
    m.Driver("pci", "virtio-pci", false, "virtio_pci");  // a driver without unbind
    m.BusDevice("pci", "pci0000:00/0000:00:03.0", "virtio-pci");
    m.File("sys/devices/pci0000:00/0000:00:03.0/resource",
           "0x000000000000c000 0x000000000000c03f 0x0000000000040101\n"
           "0x00000000febd1000 0x00000000febd1fff 0x0000000000040200\n"
           "0x0000000000000000 0x0000000000000000 0x0000000000000000\n"
           "0x0000004000100000 0x000000400017ffff 0x0000000000140204\n");
    m.File("sys/devices/pci0000:00/0000:00:03.0/irq", "0\n");  // under MSI-X
    for (const char* n : {"39", "37", "38"}) m.File(std::string("sys/devices/pci0000:00/0000:00:03.0/msi_irqs/") + n, "msix\n");
    m.File("sys/devices/pci0000:00/0000:00:03.0/power_state", "D0\n");
    m.File("sys/devices/pci0000:00/0000:00:03.0/power/runtime_status", "suspended\n");  // power_state wins

    m.Driver("virtio", "virtio_net", true, "virtio_net");
    m.BusDevice("virtio", "pci0000:00/0000:00:03.0/virtio2", "virtio_net");
    m.File("sys/devices/pci0000:00/0000:00:03.0/virtio2/power/runtime_status", "unsupported\n");

    m.BusDevice("pci", "pci0000:00/0000:00:04.0", "");  // no driver: not listed
    m.File("sys/devices/pci0000:00/0000:00:04.0/irq", "11\n");

    m.Driver("pnp", "serial", true);
    m.BusDevice("pnp", "pnp0/00:00", "serial");
    m.File("sys/devices/pnp0/00:00/resources", "state = active\nirq 4\nio 0x3f8-0x3ff\n");
    m.File("sys/devices/pnp0/00:00/power/runtime_status", "unsupported\n");
    m.Driver("serial-base", "port", false);
    m.BusDevice("serial-base", "pnp0/00:00/00:00:0.0", "port");
    m.File("sys/devices/pnp0/00:00/00:00:0.0/power/runtime_status", "suspended\n");
    const std::string tty = "devices/pnp0/00:00/00:00:0.0/tty/ttyS0";
    m.File("sys/" + tty + "/uevent", "MAJOR=4\nMINOR=64\nDEVNAME=ttyS0\n");
    m.File("sys/" + tty + "/port", "0x3F8\n");
    m.File("sys/" + tty + "/iomem_base", "0x0\n");
    m.File("sys/" + tty + "/irq", "4\n");
    m.Link(tty + "/device", "devices/pnp0/00:00/00:00:0.0");
    m.Link("dev/char/4:64", tty);

    m.File("sys/devices/virtual/mem/mem/uevent", "MAJOR=1\nMINOR=1\nDEVNAME=mem\n");
    m.Link("dev/char/1:1", "devices/virtual/mem/mem");

    m.Driver("platform", "serial8250", true, "8250");
    m.BusDevice("platform", "platform/serial8250", "serial8250");
    fs::create_directories(m.sys("devices/platform/serial8250/power/runtime_status"));  // unreadable: a directory

    m.File("proc/interrupts",
           "           CPU0       CPU1\n"
           "  4:          0          2   IO-APIC   4-edge      ttyS0\n"
           " 37:          0          0   PCI-MSIX-0000:00:03.0   0-edge      virtio2-config\n"
           " 38:          0       1184   PCI-MSIX-0000:00:03.0   1-edge      virtio2-input.0\n"
           " 39:        660          0   PCI-MSIX-0000:00:03.0   2-edge      virtio2-output.0\n"
           "NMI:          0          0   Non-maskable interrupts\n");
    m.File("proc/modules", "virtio_net 61440 0 - Live 0x0\nnet_failover 20480 1 virtio_net, Live 0x0\nvirtio_pci 24576 0 - Live 0x0\n");
}

class LinuxDevicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildMachine(machine_);
        table_ = CreateSysfsDeviceTable(machine_.roots());
        devices_ = CreateLinuxDevices(table_);
        registry_ = CreateOverlayRegistry(CreateRegistryStore({":memory:", ":memory:"}),
                                          {KeyOverlay{Hive::LocalMachine, CreateLinuxDeviceKeys(table_)}});
    }

    std::vector<DeviceInfo> Find(const std::wstring& pattern = L"*")
    {
        auto found = devices_->FindDevices(pattern);
        EXPECT_TRUE(found) << GetLastError();
        return found.value_or(std::vector<DeviceInfo>{});
    }
    const DeviceInfo* Named(const std::vector<DeviceInfo>& devices, const std::wstring& name)
    {
        const auto it = std::find_if(devices.begin(), devices.end(), [&](const DeviceInfo& d) { return d.legacyName == name; });
        return it == devices.end() ? nullptr : &*it;
    }
    std::optional<RegValue> Value(const std::wstring& key, const wchar_t* name)
    {
        return registry_->QueryValue(Hive::LocalMachine, key, name);
    }

    FixtureMachine machine_;
    std::shared_ptr<SysfsDeviceTable> table_;
    std::unique_ptr<DeviceManager> devices_;
    std::unique_ptr<Registry> registry_;
};

TEST_F(LinuxDevicesTest, ListsCharacterDevicesAndBusDevicesThatHaveADriver)
{
    std::vector<std::wstring> names;
    for (const DeviceInfo& d : Find()) names.push_back(d.legacyName);
    // Character devices first, then bus by bus; mem and 0000:00:04.0 have no driver.
    EXPECT_EQ(names, (std::vector<std::wstring>{L"ttyS0", L"0000:00:03.0", L"serial8250", L"00:00", L"00:00:0.0", L"virtio2"}));
}

TEST_F(LinuxDevicesTest, ReportsTheSysfsDirectoryAsKeyAndTheNodeAndBus)
{
    const auto found = Find();
    const DeviceInfo* tty = Named(found, L"ttyS0");
    ASSERT_NE(tty, nullptr);
    EXPECT_EQ(tty->deviceKey, L"/sys/devices/pnp0/00:00/00:00:0.0/tty/ttyS0");
    EXPECT_EQ(tty->name, L"/dev/ttyS0");
    EXPECT_EQ(tty->busName, L"serial-base");
    const DeviceInfo* pci = Named(found, L"0000:00:03.0");
    ASSERT_NE(pci, nullptr);
    EXPECT_EQ(pci->deviceKey, L"/sys/devices/pci0000:00/0000:00:03.0");
    EXPECT_EQ(pci->name, L"/sys/bus/pci/devices/0000:00:03.0");
    EXPECT_EQ(pci->busName, L"pci");
}

TEST_F(LinuxDevicesTest, SearchPatternMatchesLegacyNamesCaseInsensitively)
{
    std::vector<std::wstring> names;
    for (const DeviceInfo& d : Find(L"TTY*")) names.push_back(d.legacyName);
    EXPECT_EQ(names, std::vector<std::wstring>{L"ttyS0"});
    EXPECT_EQ(Find(L"00:00?0.0").size(), 1u);
    EXPECT_TRUE(Find(L"nothing*").empty());
}

TEST_F(LinuxDevicesTest, PciDeviceKeyHoldsDriverInterruptAndBothBaseRanges)
{
    Find();
    const std::wstring key = L"/sys/devices/pci0000:00/0000:00:03.0";
    EXPECT_TRUE(registry_->KeyExists(Hive::LocalMachine, key));
    const auto dll = Value(key, L"Dll");
    ASSERT_TRUE(dll);
    EXPECT_EQ(dll->type, ValueType::String);
    EXPECT_EQ(dll->string, L"virtio-pci") << "virtio_pci is the same name";
    const auto order = Value(key, L"Order");
    ASSERT_TRUE(order);
    EXPECT_EQ(order->dword, 1u) << "virtio_pci was loaded first: /proc/modules lists it last";
    const auto irq = Value(key, L"irq");
    ASSERT_TRUE(irq);
    EXPECT_EQ(irq->type, ValueType::Dword);
    EXPECT_EQ(irq->dword, 37u) << "the lowest of msi_irqs";
    const auto io = Value(key, L"IoBase");
    ASSERT_TRUE(io);
    EXPECT_EQ(io->type, ValueType::Dword);
    EXPECT_EQ(io->dword, 0xc000u);
    const auto memory = Value(key, L"MemBase");
    ASSERT_TRUE(memory);
    ASSERT_EQ(memory->type, ValueType::MultiString);
    EXPECT_EQ(memory->multiString, (std::vector<std::wstring>{L"febd1000", L"4000100000"})) << "full 64-bit text";
    EXPECT_FALSE(Value(key, L"SysIntr")) << "Linux numbers interrupts once";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

TEST_F(LinuxDevicesTest, SerialPortKeyHoldsItsPortAndInterrupt)
{
    Find();
    const std::wstring key = L"/sys/devices/pnp0/00:00/00:00:0.0/tty/ttyS0";
    EXPECT_EQ(Value(key, L"Dll")->string, L"port");
    EXPECT_EQ(Value(key, L"Order")->dword, 0u) << "built in";
    EXPECT_EQ(Value(key, L"IRQ")->dword, 4u);
    EXPECT_EQ(Value(key, L"IoBase")->dword, 0x3f8u);
    EXPECT_FALSE(Value(key, L"MemBase")) << "iomem_base 0 is none";

    const std::wstring pnp = L"/sys/devices/pnp0/00:00";
    EXPECT_EQ(Value(pnp, L"Dll")->string, L"serial");
    EXPECT_EQ(Value(pnp, L"IRQ")->dword, 4u) << "from its resources";
    EXPECT_EQ(Value(pnp, L"IoBase")->dword, 0x3f8u);
}

TEST_F(LinuxDevicesTest, VirtioDeviceFindsItsInterruptsByHandlerNameAndNamesItsModule)
{
    Find();
    const std::wstring key = L"/sys/devices/pci0000:00/0000:00:03.0/virtio2";
    EXPECT_EQ(Value(key, L"Dll")->string, L"virtio_net");
    EXPECT_EQ(Value(key, L"Order")->dword, 3u);
    EXPECT_EQ(Value(key, L"IRQ")->dword, 37u) << "virtio2-config";
    EXPECT_EQ(Value(L"/sys/devices/platform/serial8250", L"Dll")->string, L"serial8250 (8250)");
}

TEST_F(LinuxDevicesTest, DeviceKeysEnumerateTheirValuesAndRefuseWrites)
{
    Find();
    const std::wstring key = L"/sys/devices/pnp0/00:00/00:00:0.0/tty/ttyS0";
    const auto values = registry_->EnumValues(Hive::LocalMachine, key);
    ASSERT_TRUE(values);
    std::vector<std::wstring> names;
    for (const auto& [name, value] : *values) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Dll", L"Order", L"IRQ", L"IoBase"}));
    EXPECT_EQ(registry_->EnumSubKeys(Hive::LocalMachine, key), std::vector<std::wstring>{});

    EXPECT_FALSE(registry_->SetValue(Hive::LocalMachine, key, L"Dll", RegValue::String(L"x")));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EACCES));
    EXPECT_FALSE(registry_->CreateKey(Hive::LocalMachine, L"/sys/devices/new"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EACCES));
    EXPECT_FALSE(registry_->DeleteKey(Hive::LocalMachine, key));
    EXPECT_FALSE(registry_->DeleteValue(Hive::LocalMachine, key, L"Dll"));
    EXPECT_FALSE(registry_->KeyExists(Hive::LocalMachine, L"/sys/devices/pci0000:00/0000:00:04.0")) << "no driver, no key";
    EXPECT_FALSE(registry_->EnumValues(Hive::LocalMachine, L"/sys/devices/none"));

    // The rest of the machine hive, and the user hive, are the store's.
    ASSERT_TRUE(registry_->SetValue(Hive::LocalMachine, L"Software\\Kestrun", L"A", RegValue::Dword(1)));
    EXPECT_EQ(registry_->QueryValue(Hive::LocalMachine, L"Software\\Kestrun", L"A")->dword, 1u);
    ASSERT_TRUE(registry_->SetValue(Hive::CurrentUser, L"/sys/devices/pnp0/00:00", L"A", RegValue::Dword(2)));
    EXPECT_EQ(registry_->QueryValue(Hive::CurrentUser, L"/sys/devices/pnp0/00:00", L"A")->dword, 2u);
}

TEST_F(LinuxDevicesTest, PowerStateFromPciStateOrRuntimeStatus)
{
    Find();
    EXPECT_EQ(devices_->GetDevicePower(L"0000:00:03.0"), 0);
    EXPECT_EQ(devices_->GetDevicePower(L"TTYS0"), 3) << "its port device is suspended";
    machine_.File("sys/devices/pci0000:00/0000:00:03.0/power_state", "D3cold\n");
    EXPECT_EQ(devices_->GetDevicePower(L"0000:00:03.0"), 4);
    machine_.File("sys/devices/pci0000:00/0000:00:03.0/power_state", "unknown\n");
    EXPECT_EQ(devices_->GetDevicePower(L"0000:00:03.0"), 3) << "then the runtime status";

    EXPECT_FALSE(devices_->GetDevicePower(L"virtio2")) << "unsupported";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EOPNOTSUPP));
    EXPECT_FALSE(devices_->GetDevicePower(L"serial8250")) << "unreadable attribute";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EISDIR));
    EXPECT_FALSE(devices_->GetDevicePower(L"mem")) << "not listed";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
}

TEST_F(LinuxDevicesTest, UnreadableAttributesLeaveTheirValuesOut)
{
    fs::remove(machine_.sys("devices/pci0000:00/0000:00:03.0/resource"));
    fs::create_directories(machine_.sys("devices/pci0000:00/0000:00:03.0/resource"));
    fs::remove_all(machine_.sys("devices/pci0000:00/0000:00:03.0/msi_irqs"));
    machine_.File("sys/devices/pci0000:00/0000:00:03.0/irq", "garbage\n");
    machine_.File("proc/interrupts", "\x01\x02 not a table");
    Find();
    const std::wstring key = L"/sys/devices/pci0000:00/0000:00:03.0";
    EXPECT_EQ(Value(key, L"Dll")->string, L"virtio-pci");
    EXPECT_FALSE(Value(key, L"IoBase"));
    EXPECT_FALSE(Value(key, L"MemBase"));
    EXPECT_FALSE(Value(key, L"IRQ"));
}

TEST_F(LinuxDevicesTest, ADeviceThatVanishesAfterTheSearchAnswersNothing)
{
    const auto found = Find();
    const DeviceInfo* pci = Named(found, L"0000:00:03.0");
    ASSERT_NE(pci, nullptr);
    fs::remove_all(machine_.sys("devices/pci0000:00/0000:00:03.0"));
    EXPECT_FALSE(Value(pci->deviceKey, L"Dll"));
    EXPECT_FALSE(Value(pci->deviceKey, L"IRQ"));
    EXPECT_FALSE(devices_->GetDevicePower(L"0000:00:03.0"));
    EXPECT_FALSE(devices_->DeactivateDevice(pci->handle));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
    EXPECT_EQ(Named(Find(), L"0000:00:03.0"), nullptr) << "and the next search does not list it";
    EXPECT_EQ(Named(Find(), L"virtio2"), nullptr);
}

TEST_F(LinuxDevicesTest, DeactivateUnbindsTheBoundDeviceFromItsDriver)
{
    const auto found = Find();
    ASSERT_TRUE(devices_->DeactivateDevice(Named(found, L"00:00")->handle));
    EXPECT_EQ(machine_.Read("sys/bus/pnp/drivers/serial/unbind"), "00:00");
    ASSERT_TRUE(devices_->DeactivateDevice(Named(found, L"virtio2")->handle));
    EXPECT_EQ(machine_.Read("sys/bus/virtio/drivers/virtio_net/unbind"), "virtio2");
}

TEST_F(LinuxDevicesTest, DeactivateFailsWhereTheBusCannotUnbind)
{
    const auto found = Find();
    EXPECT_FALSE(devices_->DeactivateDevice(Named(found, L"0000:00:03.0")->handle));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTSUP));
    EXPECT_FALSE(devices_->DeactivateDevice(Named(found, L"ttyS0")->handle)) << "serial-base's port driver has no unbind";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOTSUP));
    EXPECT_FALSE(devices_->DeactivateDevice(0x7777));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
}

TEST_F(LinuxDevicesTest, ADeviceThatComesBackUnderTheSameNameIsANewDevice)
{
    const uint64_t before = Named(Find(), L"00:00")->handle;
    EXPECT_EQ(Named(Find(), L"00:00")->handle, before) << "found again: the same handle";

    // The PNP device goes (with its children) and a new one comes under the same name.
    fs::remove_all(machine_.sys("devices/pnp0/00:00"));
    machine_.File("sys/devices/pnp0/00:00/resources", "state = active\nio 0x2f8-0x2ff\n");
    machine_.Link("devices/pnp0/00:00/driver", "bus/pnp/drivers/serial");
    const auto found = Find();
    const DeviceInfo* now = Named(found, L"00:00");
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now->handle, before);
    EXPECT_FALSE(devices_->DeactivateDevice(before)) << "the old handle is not the newcomer";
    EXPECT_EQ(Named(found, L"ttyS0"), nullptr) << "its serial port went with it";
    EXPECT_EQ(Value(now->deviceKey, L"IoBase")->dword, 0x2f8u);
}

TEST_F(LinuxDevicesTest, TwoDevicesOfOneNameOnDifferentBusesStayApart)
{
    machine_.Driver("platform", "other", true);
    machine_.BusDevice("platform", "platform/00:00", "other");
    std::set<std::wstring> names;
    for (const DeviceInfo& d : Find()) EXPECT_TRUE(names.insert(d.legacyName).second) << "duplicate " << d.legacyName.size();
    EXPECT_TRUE(names.count(L"00:00"));
    EXPECT_TRUE(names.count(L"pnp/00:00"));
}

TEST_F(LinuxDevicesTest, SearchFailsWhenSysfsCannotBeRead)
{
    LinuxRoots roots = machine_.roots();
    roots.sys = machine_.sys("missing").string();
    auto devices = CreateLinuxDevices(CreateSysfsDeviceTable(roots));
    EXPECT_FALSE(devices->FindDevices(L"*"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));

    fs::remove_all(machine_.sys("dev"));
    fs::remove_all(machine_.sys("bus"));
    EXPECT_FALSE(devices_->FindDevices(L"*"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

// ---- This machine ----------------------------------------------------------------------------

std::set<std::string> Lines(const char* command)
{
    std::set<std::string> lines;
    FILE* pipe = ::popen(command, "r");
    if (pipe == nullptr) return lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.insert(line);
    }
    ::pclose(pipe);
    return lines;
}

TEST(LinuxDevicesOnThisMachine, ListsExactlyTheBoundBusDevicesAndCharacterDevicesWithADriver)
{
    const auto table = CreateSysfsDeviceTable(LinuxRoots{});
    auto devices = CreateLinuxDevices(table);
    const auto found = devices->FindDevices(L"*");
    ASSERT_TRUE(found) << GetLastError();

    std::set<std::string> busDevices;
    for (const std::string& driver : Lines("find /sys/bus/*/devices/*/driver 2>/dev/null"))
        busDevices.insert(driver.substr(0, driver.size() - std::string("/driver").size()));
    std::set<std::string> listed;
    size_t characterDevices = 0;
    for (const DeviceInfo& d : *found) {
        const std::string path = Narrow(d.name);
        if (path.rfind("/dev/", 0) == 0) {
            ++characterDevices;
        } else {
            EXPECT_TRUE(listed.insert(path).second) << path;
        }
        // Every device listed has a driver, and its key answers for it.
        const auto dll = CreateLinuxDeviceKeys(table)->QueryValue(d.deviceKey, L"Dll");
        EXPECT_TRUE(dll && !dll->string.empty()) << path;
        EXPECT_TRUE(fs::exists(Narrow(d.deviceKey))) << Narrow(d.deviceKey);
        devices->GetDevicePower(d.legacyName);  // answers or fails, never hangs
    }
    EXPECT_EQ(listed, busDevices);
    EXPECT_EQ(listed.size(), busDevices.size());
    // Character devices: the ones whose device has a driver link.
    EXPECT_EQ(characterDevices, Lines("find /sys/dev/char/ -mindepth 1 -maxdepth 1 -exec test -e {}/device/driver ';' -print").size());
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
