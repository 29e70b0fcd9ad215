// The Devices page's registry reader, refresh, sort and Deactivate on the
// simulated device, over the in-memory list.
#include "display/core/MemoryListView.h"
#include "display/core/MessageBox.h"
#include "pages/core/BatchPage.h"
#include "pages/core/DeviceRegistry.h"
#include "pages/core/DevicesModel.h"
#include "platform/common/RegistryStore.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kestrun {
namespace {

using platform::Hive;
using platform::RegValue;
using platform::sim::DeviceSpec;
using platform::sim::SimCall;

// ---- The registry reader ----------------------------------------------------------------------

class DeviceRegistryReader : public ::testing::Test {
protected:
    void Set(const wchar_t* name, const RegValue& value) { ASSERT_TRUE(store_->SetValue(Hive::LocalMachine, kKey, name, value)); }
    DeviceRegistryValues Read() { return ReadDeviceRegistry(*store_, kKey); }

    static constexpr const wchar_t* kKey = L"Drivers\\BuiltIn\\Serial";
    std::unique_ptr<platform::Registry> store_ = platform::CreateRegistryStore({":memory:", ":memory:"});
};

TEST_F(DeviceRegistryReader, DriverAndOrderOfTheirOwnTypesOnly)
{
    Set(L"Dll", RegValue::String(L"serial.dll"));
    Set(L"Order", RegValue::Dword(7));
    EXPECT_EQ(Read().module, L"serial.dll");
    EXPECT_EQ(Read().order, 7u);
    Set(L"Dll", RegValue::Dword(5));
    Set(L"Order", RegValue::String(L"7"));
    EXPECT_EQ(Read().module, L"") << "a number is no file name";
    EXPECT_EQ(Read().order, 0u) << "a text is no order";
}

TEST_F(DeviceRegistryReader, InterruptFromIrqInterruptNumberOrSysIntr)
{
    struct Case {
        std::optional<RegValue> irq, interruptNumber, sysIntr;
        uint32_t expectedIrq;
        uint32_t expectedSysIntr;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, RegValue::Dword(0x13), 3, 0x13},   // SysIntr 19 is IRQ 3
        {std::nullopt, std::nullopt, RegValue::Dword(0x30), 0, 0x30},   // 48 is no legacy interrupt
        {std::nullopt, std::nullopt, RegValue::Dword(16), 0, 16},       // IRQ 0 reads as none
        {std::nullopt, std::nullopt, RegValue::Dword(31), 15, 31},
        {std::nullopt, std::nullopt, RegValue::Dword(15), 0, 15},       // below 16: no wrap-around
        {RegValue::Dword(4), std::nullopt, RegValue::Dword(0x13), 4, 0x13},
        {std::nullopt, RegValue::Dword(9), RegValue::Dword(0x13), 9, 0x13},
        {RegValue::Dword(5), RegValue::Dword(9), std::nullopt, 5, 0},
        {RegValue::String(L"5"), RegValue::Dword(9), std::nullopt, 0, 0},  // IRQ was read: no InterruptNumber
        {std::nullopt, std::nullopt, RegValue::String(L"19"), 0, 0},
        {RegValue::Dword(0), std::nullopt, RegValue::Dword(0x14), 4, 0x14},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        store_->DeleteKey(Hive::LocalMachine, kKey);
        store_->CreateKey(Hive::LocalMachine, kKey);
        if (c.irq) Set(L"IRQ", *c.irq);
        if (c.interruptNumber) Set(L"InterruptNumber", *c.interruptNumber);
        if (c.sysIntr) Set(L"SysIntr", *c.sysIntr);
        const DeviceRegistryValues v = Read();
        EXPECT_EQ(v.irq, c.expectedIrq) << "case " << i;
        EXPECT_EQ(v.sysIntr, c.expectedSysIntr) << "case " << i;
    }
}

TEST_F(DeviceRegistryReader, BasesByTypeAsNumberAndText)
{
    struct Case {
        const wchar_t* name;
        RegValue value;
        uint64_t number;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"IoBase", RegValue::Dword(0x300), 0x300, L"300"},
        {L"IoBase", RegValue::Dword(0xFFFFFFFF), 0xFFFFFFFF, L"ffffffff"},
        {L"IoBase", RegValue::String(L"2F8"), 0x2F8, L"2F8"},
        {L"IoBase", RegValue::String(L"0x1f0 primary"), 0x1F0, L"0x1f0 primary"},
        {L"IoBase", RegValue::String(L"none"), 0, L"none"},
        {L"IoBase", RegValue::Multi({L"300", L"310"}), 0x300, L"300,310"},
        {L"IoBase", RegValue::Multi({}), 0, L""},
        {L"IoBase", RegValue::Bytes({'3', 0, 'f', 0, '8', 0, 0, 0, 'x', 0}), 0, L"3f8"},
        {L"IoAddr", RegValue::Dword(0x170), 0x170, L"170"},
        {L"IoBaseAddress", RegValue::Dword(0x1F0), 0x1F0, L"1f0"},
        {L"IoPort", RegValue::String(L"60"), 0x60, L"60"},
        {L"MemBase", RegValue::String(L"4000100000"), 0x4000100000, L"4000100000"},  // above 32 bits, kept whole
        {L"MemBase", RegValue::Multi({L"febd1000", L"4000100000"}), 0xfebd1000, L"febd1000,4000100000"},
        {L"MemAddr", RegValue::Dword(0xD0000), 0xD0000, L"d0000"},
    };
    for (const Case& c : cases) {
        store_->DeleteKey(Hive::LocalMachine, kKey);
        Set(c.name, c.value);
        const DeviceRegistryValues v = Read();
        const bool memory = std::wstring(c.name).rfind(L"Mem", 0) == 0;
        EXPECT_EQ(memory ? v.memBase : v.ioBase, c.number) << c.name << " " << c.text;
        EXPECT_EQ(memory ? v.memBaseText : v.ioBaseText, c.text) << c.name;
        EXPECT_EQ(memory ? v.ioBaseText : v.memBaseText, L"") << c.name;
    }
}

TEST_F(DeviceRegistryReader, TheFirstBaseNamePresentWins)
{
    Set(L"IoPort", RegValue::Dword(0x60));
    Set(L"IoAddr", RegValue::Dword(0x170));
    EXPECT_EQ(Read().ioBaseText, L"170");
    Set(L"IoBase", RegValue::Dword(0x300));
    EXPECT_EQ(Read().ioBaseText, L"300");
    Set(L"MemAddr", RegValue::Dword(0xD8000));
    Set(L"MemBase", RegValue::Dword(0xD0000));
    EXPECT_EQ(Read().memBaseText, L"d0000");
}

TEST_F(DeviceRegistryReader, AnEmptyOrMissingKeyLeavesEverythingZero)
{
    Set(L"Dll", RegValue::String(L"serial.dll"));
    for (const wchar_t* key : {L"", L"Drivers\\Nowhere"}) {
        const DeviceRegistryValues v = ReadDeviceRegistry(*store_, key);
        EXPECT_EQ(v.module, L"");
        EXPECT_EQ(v.order, 0u);
        EXPECT_EQ(v.irq, 0u);
        EXPECT_EQ(v.ioBaseText, L"");
        EXPECT_EQ(v.memBase, 0u);
    }
}

TEST(HexBaseParse, AsPercentLxReadsIt)
{
    EXPECT_EQ(ParseHexBase(L"3f8"), 0x3f8u);
    EXPECT_EQ(ParseHexBase(L"  0X3F8,310"), 0x3f8u);
    EXPECT_EQ(ParseHexBase(L"0x"), 0u);
    EXPECT_EQ(ParseHexBase(L""), 0u);
    EXPECT_EQ(ParseHexBase(L"g1"), 0u);
    EXPECT_EQ(ParseHexBase(L"ffffffffffffffff"), UINT64_MAX);
    EXPECT_EQ(ParseHexBase(L"1ffffffffffffffff"), UINT64_MAX) << "too large reads as the largest";
}

TEST(PowerStateTexts, NamedStatesUnknownAndOthers)
{
    EXPECT_EQ(PowerStateText(0), L"D0 (Full On)");
    EXPECT_EQ(PowerStateText(1), L"D1 (Low Power On)");
    EXPECT_EQ(PowerStateText(2), L"D2 (Standby)");
    EXPECT_EQ(PowerStateText(3), L"D3 (Sleep)");
    EXPECT_EQ(PowerStateText(4), L"D4 (Off)");
    EXPECT_EQ(PowerStateText(-1), L"(N/A)");
    EXPECT_EQ(PowerStateText(7), L"7 (?]");
    EXPECT_EQ(PowerStateText(-2), L"-2 (?]");
}

// ---- The page on the simulated device -----------------------------------------------------------

constexpr const char* kDevice = R"({"devices": [
    { "name": "COM1:", "dll": "serial.dll", "driverKey": "Drivers\\BuiltIn\\Serial", "order": 2, "irq": 4,
      "ioBase": { "dword": "0x3F8" }, "power": 0 },
    { "name": "NDS0:", "dll": "ne2000.dll", "driverKey": "Comm\\NE20001", "order": 1, "sysIntr": 19, "ioBase": ["300", "310"],
      "memBase": { "string": "d0000" }, "power": 7 },
    { "name": "KBD1:", "dll": "keybddr.dll", "driverKey": "Drivers\\BuiltIn\\Keyboard", "sysIntr": 48, "ioBase": { "dword": "0x301" },
      "power": 3, "deactivatable": false },
    { "name": "AFD1:", "dll": "afd.dll", "driverKey": "Drivers\\BuiltIn\\Afd", "ioBase": "2f8", "power": -1 }
  ]})";

class DevicesPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        sim_ = platform::sim::CreateSimPlatformFromJson(kDevice, error);
        ASSERT_NE(sim_, nullptr) << error;
        previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& box) {
            boxes_.push_back(box);
            return answer_;
        });
        model_ = std::make_unique<DevicesModel>(*sim_, list_);
        model_->InsertColumns();
    }
    void TearDown() override
    {
        model_.reset();
        SetMessageBoxHandler(previous_);
    }

    int RowOf(const std::wstring& name) const
    {
        for (int row = 0; row < list_.RowCount(); ++row)
            if (list_.CellText(row, kColDeviceName) == name) return row;
        return -1;
    }
    std::wstring Cell(const std::wstring& name, int column) const { return list_.CellText(RowOf(name), column); }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (int row = 0; row < list_.RowCount(); ++row) names.push_back(list_.CellText(row, kColDeviceName));
        return names;
    }
    void SelectRow(const std::wstring& name) { list_.SetSelected(RowOf(name), true); }

    std::unique_ptr<platform::sim::SimPlatform> sim_;
    MemoryListView list_;
    std::unique_ptr<DevicesModel> model_;
    MessageBoxHandler previous_;
    std::vector<MessageBoxRequest> boxes_;
    int answer_ = kIdNo;
};

TEST_F(DevicesPage, EightColumnsWithTheirTitlesAlignmentsAndWidths)
{
    const auto& columns = list_.columns();
    ASSERT_EQ(columns.size(), 8u);
    const std::vector<std::wstring> titles = {L"Name", L"Module", L"Order", L"IRQ", L"I/O Base", L"Mem Base", L"Power State", L"Registry Key"};
    for (size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(columns[i].title, titles[i]);
        EXPECT_EQ(columns[i].align, i >= 2 && i <= 6 ? ColumnAlign::kRight : ColumnAlign::kLeft) << i;
        if (i >= 2) {
            EXPECT_EQ(columns[i].width, kAutoColumnWidth) << i;
        }
    }
    EXPECT_EQ(columns[1].width, 90);
}

TEST_F(DevicesPage, RowsShowTheRegistryValuesAndPowerStates)
{
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"COM1:", L"NDS0:", L"KBD1:", L"AFD1:"})) << "in search order";
    EXPECT_EQ(list_.Cells()[0], (std::vector<std::wstring>{L"COM1:", L"serial.dll", L"2", L"4", L"3f8", L"", L"D0 (Full On)",
                                                           L"Drivers\\BuiltIn\\Serial"}));
    EXPECT_EQ(Cell(L"NDS0:", kColIrq), L"3") << "SysIntr 0x13";
    EXPECT_EQ(Cell(L"NDS0:", kColIoBase), L"300,310");
    EXPECT_EQ(Cell(L"NDS0:", kColMemBase), L"d0000");
    EXPECT_EQ(Cell(L"NDS0:", kColPowerState), L"7 (?]");
    EXPECT_EQ(Cell(L"KBD1:", kColIrq), L"") << "SysIntr 0x30 is no legacy interrupt";
    EXPECT_EQ(Cell(L"KBD1:", kColOrder), L"0");
    EXPECT_EQ(Cell(L"AFD1:", kColPowerState), L"(N/A)");
    EXPECT_EQ(Cell(L"AFD1:", kColIoBase), L"2f8");
}

TEST_F(DevicesPage, IoBaseSortsByItsNumberAndPowerStateByItsValue)
{
    ASSERT_TRUE(model_->Refresh());
    model_->ClickHeader(kColIoBase);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"AFD1:", L"NDS0:", L"KBD1:", L"COM1:"})) << "2f8 < 300,310 < 301 < 3f8";
    model_->ClickHeader(kColIoBase);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"COM1:", L"KBD1:", L"NDS0:", L"AFD1:"}));
    model_->ClickHeader(kColPowerState);
    EXPECT_EQ(model_->sortOrder(), 1);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"AFD1:", L"COM1:", L"KBD1:", L"NDS0:"})) << "(N/A) first, then D0, D3, 7";
    model_->ClickHeader(kColDeviceName);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"AFD1:", L"COM1:", L"KBD1:", L"NDS0:"}));
    model_->ClickHeader(kColRegistryKey);
    EXPECT_EQ(Names().front(), L"NDS0:") << "Comm\\NE20001 before Drivers\\...";
}

TEST_F(DevicesPage, NewDevicesAreAppendedWhileUnsortedAndPlacedWhenSorted)
{
    ASSERT_TRUE(model_->Refresh());
    DeviceSpec spec;
    spec.legacyName = L"ACM0:";
    spec.dll = L"usbser.dll";
    spec.order = 0;
    sim_->device().AddDevice(spec);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names().back(), L"ACM0:");

    model_->ClickHeader(kColDeviceName);
    spec.legacyName = L"BAT1:";
    sim_->device().AddDevice(spec);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"ACM0:", L"AFD1:", L"BAT1:", L"COM1:", L"KBD1:", L"NDS0:"}));
}

TEST_F(DevicesPage, TheKeyIsReadOnFirstSightThePowerStateOnEveryRefresh)
{
    ASSERT_TRUE(model_->Refresh());
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(list_.counters().cellWrites, 0u) << "nothing changed, nothing written";

    sim_->device().localMachine().SetValue(L"Drivers\\BuiltIn\\Serial", L"Dll", RegValue::String(L"other.dll"));
    ASSERT_TRUE(sim_->device().SetDevicePower(L"COM1:", 4));
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"COM1:", kColModule), L"serial.dll") << "the key is not read again";
    EXPECT_EQ(Cell(L"COM1:", kColPowerState), L"D4 (Off)");
    EXPECT_EQ(list_.counters().cellWrites, 1u);
}

TEST_F(DevicesPage, ADeviceThatStopsAnsweringShowsNotAvailable)
{
    ASSERT_TRUE(model_->Refresh());
    ASSERT_EQ(Cell(L"COM1:", kColPowerState), L"D0 (Full On)");
    sim_->device().InjectFailure(SimCall::DevicePower, ETIMEDOUT, 1);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"COM1:", kColPowerState), L"(N/A)");
    EXPECT_EQ(Cell(L"NDS0:", kColPowerState), L"7 (?]") << "only the first query failed";
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"COM1:", kColPowerState), L"D0 (Full On)") << "and it answers again";
    EXPECT_TRUE(boxes_.empty()) << "a power query that fails is no error";
}

TEST_F(DevicesPage, AFailedSearchShowsItsErrorAndKeepsTheRows)
{
    ASSERT_TRUE(model_->Refresh());
    sim_->device().InjectFailure(SimCall::FindDevices, EIO);
    EXPECT_FALSE(model_->Refresh());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"The information about the devices cannot be read.\nError: 5 (Input/output error)");
    EXPECT_EQ(model_->rowCount(), 4u);
    ASSERT_TRUE(model_->Refresh());
}

TEST_F(DevicesPage, VanishedDevicesLoseTheirRows)
{
    ASSERT_TRUE(model_->Refresh());
    auto& devices = sim_->device().devices();
    devices.erase(devices.begin() + 1);  // NDS0: goes without deactivation
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"COM1:", L"KBD1:", L"AFD1:"}));
}

TEST_F(DevicesPage, RowsMatchTheirDeviceByNameInAnyCase)
{
    ASSERT_TRUE(model_->Refresh());
    sim_->device().FindDevice(L"COM1:")->info.legacyName = L"com1:";
    list_.ResetCounters();
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(model_->rowCount(), 4u);
    EXPECT_EQ(list_.counters().inserts, 0u);
}

TEST_F(DevicesPage, DeactivateNeedsASelectionAndAYes)
{
    ASSERT_TRUE(model_->Refresh());
    model_->Deactivate();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"You must first select a device.");
    EXPECT_EQ(boxes_[0].style, kMbOk | kMbIconExclamation) << "a plain OK box, with the default icon";

    SelectRow(L"COM1:");
    answer_ = kIdNo;
    model_->Deactivate();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, L"Deactivating a device may lead to fail function of the system!\nAre you sure to deactivate the device?");
    EXPECT_EQ(boxes_[1].style, kMbYesNo | kMbIconExclamation);
    EXPECT_NE(sim_->device().FindDevice(L"COM1:"), nullptr) << "No deactivates nothing";
    EXPECT_EQ(model_->rowCount(), 4u);

    answer_ = kIdYes;
    model_->Deactivate();
    EXPECT_EQ(sim_->device().FindDevice(L"COM1:"), nullptr);
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"NDS0:", L"KBD1:", L"AFD1:"})) << "refreshed at once";
    EXPECT_FALSE(model_->HasSelection());
}

TEST_F(DevicesPage, AFailedDeactivationShowsItsError)
{
    ASSERT_TRUE(model_->Refresh());
    SelectRow(L"KBD1:");
    answer_ = kIdYes;
    model_->Deactivate();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1].text, L"The device cannot be deactivated.\nError: 16 (Device or resource busy)");
    EXPECT_NE(RowOf(L"KBD1:"), -1);
}

TEST_F(DevicesPage, ADeviceBackUnderItsNameIsDeactivatedAndReadAsTheNewcomer)
{
    ASSERT_TRUE(model_->Refresh());
    auto& devices = sim_->device().devices();
    devices.erase(devices.begin());  // COM1: goes ...
    DeviceSpec spec;                 // ... and another comes under its name before the next refresh
    spec.legacyName = L"COM1:";
    spec.driverKey = L"Drivers\\USB\\Serial";
    spec.dll = L"usbser.dll";
    sim_->device().AddDevice(spec);
    ASSERT_TRUE(model_->Refresh());
    EXPECT_EQ(Cell(L"COM1:", kColModule), L"usbser.dll");
    EXPECT_EQ(Cell(L"COM1:", kColRegistryKey), L"Drivers\\USB\\Serial");
    EXPECT_EQ(Cell(L"COM1:", kColIoBase), L"");
    EXPECT_EQ(Cell(L"COM1:", kColIrq), L"");

    SelectRow(L"COM1:");
    answer_ = kIdYes;
    model_->Deactivate();
    EXPECT_EQ(sim_->device().FindDevice(L"COM1:"), nullptr) << "the handle is the newcomer's";
    EXPECT_TRUE(boxes_.size() == 1u) << boxes_.back().text;
}

TEST_F(DevicesPage, DoubleClickShowsTheSelectedDriver)
{
    ASSERT_TRUE(model_->Refresh());
    EXPECT_FALSE(model_->ModuleToShow());
    SelectRow(L"NDS0:");
    EXPECT_EQ(model_->ModuleToShow(), L"ne2000.dll");
    DeviceSpec bare;
    bare.legacyName = L"NUL1:";
    sim_->device().AddDevice(bare);
    ASSERT_TRUE(model_->Refresh());
    list_.SetSelected(RowOf(L"NUL1:"), true);
    EXPECT_FALSE(model_->ModuleToShow()) << "no driver file";
}

TEST(DevicesBatch, PrintsTheHeaderAndTheRowsAndSortsByAColumn)
{
    std::string error;
    auto sim = platform::sim::CreateSimPlatformFromJson(kDevice, error);
    ASSERT_NE(sim, nullptr) << error;
    auto page = MakeDevicesBatchPage(*sim);
    EXPECT_EQ(page->Header(), (std::vector<std::wstring>{L"Name", L"Module", L"Order", L"IRQ", L"I/O Base", L"Mem Base",
                                                         L"Power State", L"Registry Key"}));
    ASSERT_TRUE(page->Sortable());
    page->ClickHeader(kColOrder);
    page->Tick(1, 0, 0);
    const auto rows = page->Rows();
    ASSERT_EQ(rows.size(), 4u);
    // A new row goes before rows that compare equal: AFD1: (order 0) before KBD1: (order 0).
    std::vector<std::wstring> names;
    for (const auto& row : rows) names.push_back(row[kColDeviceName]);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"AFD1:", L"KBD1:", L"NDS0:", L"COM1:"}));
    EXPECT_EQ(rows[1][kColPowerState], L"D3 (Sleep)");
}

}  // namespace
}  // namespace kestrun
