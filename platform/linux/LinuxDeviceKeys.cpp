// The machine registry's device keys on Linux: the key the device manager
// reports for a device is its sysfs directory ("/sys/devices/pnp0/00:00"), and
// its values are made from sysfs when read, typed as the registry reader of the
// Devices page expects them:
//   Dll      string  the driver, with its module ("serial8250 (8250)")
//   Order    DWORD   the module's load position, 0 when built in
//   IRQ      DWORD   the lowest interrupt number of /proc/interrupts the device uses
//   IoBase   DWORD for one range, a multi-string of hexadecimal starts for several
//   MemBase  the same; a single base above 32 bits is a hexadecimal string, so that
//            the text keeps the whole address
// There is no SysIntr: Linux numbers interrupts once.
#include "platform/LastError.h"
#include "platform/common/KeySource.h"
#include "platform/linux/DeviceFacts.h"
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>
#include <cstdio>

namespace kestrun::platform::linux_backend {

namespace {

constexpr wchar_t kOwnedPrefix[] = L"/sys/";

std::wstring Hex(uint64_t value)
{
    wchar_t text[24];
    std::swprintf(text, 24, L"%llx", static_cast<unsigned long long>(value));
    return text;
}

std::optional<RegValue> RangesValue(const std::vector<ResourceRange>& ranges)
{
    if (ranges.empty()) return std::nullopt;
    if (ranges.size() == 1) {
        if (ranges.front().start <= UINT32_MAX) return RegValue::Dword(static_cast<uint32_t>(ranges.front().start));
        return RegValue::String(Hex(ranges.front().start));
    }
    std::vector<std::wstring> starts;
    for (const ResourceRange& range : ranges) starts.push_back(Hex(range.start));
    return RegValue::Multi(std::move(starts));
}

class LinuxDeviceKeys final : public KeySource {
public:
    explicit LinuxDeviceKeys(std::shared_ptr<SysfsDeviceTable> table) : table_(std::move(table)) {}

    bool Owns(const std::wstring& key) const override { return key.compare(0, std::size(kOwnedPrefix) - 1, kOwnedPrefix) == 0; }

    bool KeyExists(const std::wstring& key) override { return table_->ByKey(Narrow(key)) != nullptr; }

    std::optional<RegValue> QueryValue(const std::wstring& key, const std::wstring& name) override
    {
        const SysfsDevice* device = table_->ByKey(Narrow(key));
        if (device == nullptr) {
            Fail(ENOENT);
            return std::nullopt;
        }
        std::optional<RegValue> value = Value(*device, FoldAscii(Narrow(name)));
        if (!value) Fail(ENOENT);
        return value;
    }

    std::optional<std::vector<std::pair<std::wstring, RegValue>>> EnumValues(const std::wstring& key) override
    {
        const SysfsDevice* device = table_->ByKey(Narrow(key));
        if (device == nullptr) {
            Fail(ENOENT);
            return std::nullopt;
        }
        std::vector<std::pair<std::wstring, RegValue>> values;
        for (const wchar_t* name : {L"Dll", L"Order", L"IRQ", L"IoBase", L"MemBase"})
            if (std::optional<RegValue> value = Value(*device, FoldAscii(Narrow(name)))) values.emplace_back(name, std::move(*value));
        return values;
    }

private:
    std::optional<RegValue> Value(const SysfsDevice& device, const std::string& name)
    {
        // A device that has gone (or lost its driver) answers nothing, not even
        // what /proc/interrupts still says of its name.
        if (!DriverName(device)) return std::nullopt;
        if (name == "dll") {
            const std::optional<std::string> driver = DriverText(device);
            if (!driver) return std::nullopt;
            return RegValue::String(Widen(*driver));
        }
        if (name == "order") return RegValue::Dword(LoadOrder(*table_, device));
        if (name == "irq") {
            const std::vector<uint32_t> interrupts = DeviceInterrupts(*table_, device);
            if (interrupts.empty()) return std::nullopt;
            return RegValue::Dword(interrupts.front());
        }
        if (name == "iobase") return RangesValue(DeviceRanges(device, ResourceKind::Io));
        if (name == "membase") return RangesValue(DeviceRanges(device, ResourceKind::Memory));
        return std::nullopt;
    }

    std::shared_ptr<SysfsDeviceTable> table_;
};

}  // namespace

std::shared_ptr<KeySource> CreateLinuxDeviceKeys(std::shared_ptr<SysfsDeviceTable> table)
{
    return std::make_shared<LinuxDeviceKeys>(std::move(table));
}

}  // namespace kestrun::platform::linux_backend
