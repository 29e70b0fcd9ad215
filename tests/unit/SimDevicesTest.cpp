// The simulated device manager's failures, odd value types and devices that come and go.
#include "SimTestSupport.h"

#include "platform/LastError.h"

#include <cerrno>

namespace kestrun::platform::sim::testing {
namespace {

TEST(SimDeviceFailures, InjectedFailuresOfSearchPowerAndDeactivation)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    device.InjectFailure(SimCall::FindDevices, EIO);
    EXPECT_FALSE(sim->devices().FindDevices(L"*"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EIO));
    EXPECT_EQ(sim->devices().FindDevices(L"*")->size(), 3u) << "one failure only";

    device.InjectFailure(SimCall::DevicePower, ETIMEDOUT, kAlways);
    EXPECT_FALSE(sim->devices().GetDevicePower(L"COM1:"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
    device.ClearFailures();
    EXPECT_EQ(sim->devices().GetDevicePower(L"COM1:"), 0);

    const uint64_t com = device.FindDevice(L"COM1:")->info.handle;
    device.InjectFailure(SimCall::DeactivateDevice, EPERM);
    EXPECT_FALSE(sim->devices().DeactivateDevice(com));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_NE(device.FindDevice(L"COM1:"), nullptr) << "a failed deactivation leaves the device";
    EXPECT_TRUE(sim->devices().DeactivateDevice(com));
}

TEST(SimDeviceValues, BaseAddressesOfAnyRegistryTypeAreKeptAsTyped)
{
    std::string error;
    auto sim = CreateSimPlatformFromJson(R"({"devices": [
        { "name": "ODD1:", "driverKey": "Drivers\\Odd", "ioBase": { "binary": "f803" }, "memBase": ["d0000"] }
      ], "registry": { "localMachine": { "Drivers\\Odd": { "IRQ": "5", "InterruptNumber": 9 } } } })", error);
    ASSERT_NE(sim, nullptr) << error;
    Registry& reg = sim->registry();
    const auto io = reg.QueryValue(Hive::LocalMachine, L"Drivers\\Odd", L"IoBase");
    ASSERT_TRUE(io);
    EXPECT_EQ(io->type, ValueType::Binary);
    EXPECT_EQ(io->binary, (std::vector<uint8_t>{0xf8, 0x03}));
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, L"Drivers\\Odd", L"MemBase")->type, ValueType::MultiString);
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, L"Drivers\\Odd", L"IRQ")->type, ValueType::String);
    EXPECT_EQ(reg.QueryValue(Hive::LocalMachine, L"Drivers\\Odd", L"InterruptNumber")->dword, 9u);
}

TEST(SimDeviceLifetime, ADeviceAddedAgainIsANewDeviceWithANewActiveKey)
{
    auto sim = SmallDevice();
    SimDevice& device = sim->device();
    const SimStreamDevice before = *device.FindDevice(L"COM1:");
    ASSERT_TRUE(sim->devices().DeactivateDevice(before.info.handle));
    DeviceSpec spec;
    spec.legacyName = L"COM1:";
    spec.dll = L"serial.dll";
    spec.power = 4;
    device.AddDevice(spec);
    const SimStreamDevice& after = *device.FindDevice(L"COM1:");
    EXPECT_NE(after.info.handle, before.info.handle);
    EXPECT_NE(after.activeKey, before.activeKey);
    EXPECT_EQ(sim->devices().GetDevicePower(L"COM1:"), 4);
    EXPECT_FALSE(sim->devices().DeactivateDevice(before.info.handle)) << "the old handle is gone";
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENODEV));
    EXPECT_EQ(sim->devices().FindDevices(L"*")->back().legacyName, L"COM1:") << "found last: it came last";
}

}  // namespace
}  // namespace kestrun::platform::sim::testing
