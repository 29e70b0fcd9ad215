#include "pages/core/DevicesModel.h"

#include "display/core/Format.h"
#include "display/core/MessageBox.h"
#include "pages/core/DeviceRegistry.h"

#include <cwctype>

namespace kestrun {

namespace {

using Row = DeviceRow;

std::wstring Fold(const std::wstring& text)
{
    std::wstring folded(text);
    for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return folded;
}

std::wstring Unsigned(uint32_t value) { return Printf(L"%lu", static_cast<unsigned long>(value)); }

// Fills the registry part of a row from the device's key.
void ReadKey(platform::Registry& registry, Row& row)
{
    DeviceRegistryValues values = ReadDeviceRegistry(registry, row.registryKey);
    row.module = std::move(values.module);
    row.order = values.order;
    row.irq = values.irq;
    row.sysIntr = values.sysIntr;
    row.ioBase = values.ioBase;
    row.ioBaseText = std::move(values.ioBaseText);
    row.memBase = values.memBase;
    row.memBaseText = std::move(values.memBaseText);
}

}  // namespace

const ColumnTable<DeviceRow, kDeviceColumnCount>& DeviceRowTraits::Columns()
{
    using A = ColumnAlign;
    // Name is wider than a "COM1:" needs: Linux names run to "0000:00:03.0".
    static const ColumnTable<DeviceRow, kDeviceColumnCount> columns = {{
        {L"Name", A::kLeft, 70, [](const Row& r) { return r.name; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.name, b.name); }},
        {L"Module", A::kLeft, 90, [](const Row& r) { return r.module; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.module, b.module); }},
        {L"Order", A::kRight, kAutoColumnWidth, [](const Row& r) { return Unsigned(r.order); },
         [](const Row& a, const Row& b) { return Order(a.order, b.order); }},
        {L"IRQ", A::kRight, kAutoColumnWidth, [](const Row& r) { return r.irq == 0 ? std::wstring() : Unsigned(r.irq); },
         [](const Row& a, const Row& b) { return Order(a.irq, b.irq); }},
        // The bases sort by their number, not their text: "300,310" sorts as 0x300.
        {L"I/O Base", A::kRight, kAutoColumnWidth, [](const Row& r) { return r.ioBaseText; },
         [](const Row& a, const Row& b) { return Order(a.ioBase, b.ioBase); }},
        {L"Mem Base", A::kRight, kAutoColumnWidth, [](const Row& r) { return r.memBaseText; },
         [](const Row& a, const Row& b) { return Order(a.memBase, b.memBase); }},
        {L"Power State", A::kRight, kAutoColumnWidth, [](const Row& r) { return PowerStateText(r.power); },
         [](const Row& a, const Row& b) { return Order(a.power, b.power); }},
        {L"Registry Key", A::kLeft, kAutoColumnWidth, [](const Row& r) { return r.registryKey; },
         [](const Row& a, const Row& b) { return CompareNoCase(a.registryKey, b.registryKey); }},
    }};
    return columns;
}

std::wstring PowerStateText(int power)
{
    switch (power) {
    case 0: return L"D0 (Full On)";
    case 1: return L"D1 (Low Power On)";
    case 2: return L"D2 (Standby)";
    case 3: return L"D3 (Sleep)";
    case 4: return L"D4 (Off)";
    case kPowerUnknown: return L"(N/A)";
    default: return Printf(L"%d (?]", power);
    }
}

DevicesModel::DevicesModel(platform::Platform& platform, ListView& list) : platform_(platform), rows_(list) {}

void DevicesModel::InsertColumns() { rows_.InsertColumns(); }

bool DevicesModel::Refresh()
{
    const auto pass = rows_.BeginRefresh();
    if (!pass) return false;
    platform::DeviceManager& manager = platform_.devices();
    const std::optional<std::vector<platform::DeviceInfo>> devices = manager.FindDevices(L"*");
    if (!devices) {
        ShowError(L"The information about the devices cannot be read.");
        return false;  // the rows stay
    }

    for (const platform::DeviceInfo& device : *devices) {
        const int power = manager.GetDevicePower(device.legacyName).value_or(kPowerUnknown);
        auto row = rows_.FindOrInsert(Fold(device.legacyName), [&](Row& fresh) {
            fresh.key = Fold(device.legacyName);
            fresh.name = device.legacyName;
            fresh.registryKey = device.deviceKey;
            fresh.handle = device.handle;
            fresh.power = power;
            ReadKey(platform_.registry(), fresh);
        });
        if (!row) continue;
        if (!row.isNew()) {
            row.Set(row->power, power, kColPowerState);
            // Another device under a known name (one that went and came back): its
            // key is read again, and Deactivate acts on the newcomer.
            if (row->handle != device.handle) {
                Row fresh;
                fresh.registryKey = device.deviceKey;
                ReadKey(platform_.registry(), fresh);
                row->handle = device.handle;
                row.Set(row->name, device.legacyName, kColDeviceName);
                row.Set(row->registryKey, fresh.registryKey, kColRegistryKey);
                row.Set(row->module, fresh.module, kColModule);
                row.Set(row->order, fresh.order, kColOrder);
                row.Set(row->irq, fresh.irq, kColIrq);
                row->sysIntr = fresh.sysIntr;
                row.Set(row->ioBaseText, fresh.ioBaseText, kColIoBase);
                row.Set(row->ioBase, fresh.ioBase, kColIoBase);
                row.Set(row->memBaseText, fresh.memBaseText, kColMemBase);
                row.Set(row->memBase, fresh.memBase, kColMemBase);
            }
        }
        rows_.Commit(row);
    }
    rows_.FinishRefresh();
    return true;
}

void DevicesModel::ClickHeader(int column) { rows_.ClickHeader(column); }

void DevicesModel::SortIfOrdered() { rows_.SortIfOrdered(); }

void DevicesModel::Deactivate()
{
    const Row* row = rows_.Selected();
    if (row == nullptr) {
        MessageBox(L"You must first select a device.", kMbOk);
        return;
    }
    const uint64_t handle = row->handle;  // a refresh may remove the row while the question is open
    if (MessageBox(L"Deactivating a device may lead to fail function of the system!\nAre you sure to deactivate the device?",
                   kMbYesNo | kMbIconExclamation) != kIdYes)
        return;
    if (!platform_.devices().DeactivateDevice(handle)) {
        ShowError(L"The device cannot be deactivated.");
        return;
    }
    Refresh();
}

std::optional<std::wstring> DevicesModel::ModuleToShow() const
{
    const Row* row = rows_.Selected();
    if (row == nullptr || row->module.empty()) return std::nullopt;
    return row->module;
}

}  // namespace kestrun
