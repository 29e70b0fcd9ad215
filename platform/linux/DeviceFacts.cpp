#include "platform/linux/DeviceFacts.h"

#include "platform/linux/Dir.h"
#include "platform/LastError.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

std::optional<std::string> LinkBasename(int dir, const char* path)
{
    char buffer[4096];
    const ssize_t n = ::readlinkat(dir, path, buffer, sizeof buffer);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return std::nullopt;
    std::string_view target(buffer, static_cast<size_t>(n));
    while (!target.empty() && target.back() == '/') target.remove_suffix(1);
    const size_t slash = target.rfind('/');
    return std::string(slash == std::string_view::npos ? target : target.substr(slash + 1));
}

std::optional<uint64_t> ReadNumber(int dir, const char* file)
{
    std::string text;
    if (ReadFileAt(dir, file, text) != ProcRead::kOk) return std::nullopt;
    return ParseSysfsNumber(text);
}

// Module names use underscores where driver names often use dashes.
std::string Canonical(std::string name)
{
    std::replace(name.begin(), name.end(), '-', '_');
    return FoldAscii(name);
}

std::vector<uint32_t> MessageInterrupts(int bound)
{
    std::vector<uint32_t> numbers;
    Dir dir(bound, "msi_irqs");
    if (!dir.valid()) return numbers;
    while (const dirent* entry = dir.Next()) {
        const std::optional<uint64_t> n = ParseSysfsNumber(entry->d_name);
        if (n && *n > 0 && *n <= UINT32_MAX) numbers.push_back(static_cast<uint32_t>(*n));
    }
    return numbers;
}

std::vector<uint32_t> Sorted(std::vector<uint32_t> numbers)
{
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::vector<ResourceRange> OfKind(const std::vector<ResourceRange>& ranges, ResourceKind kind)
{
    std::vector<ResourceRange> out;
    for (const ResourceRange& range : ranges)
        if (range.kind == kind) out.push_back(range);
    return out;
}

}  // namespace

std::optional<std::string> DriverName(const SysfsDevice& device)
{
    std::optional<std::string> name = LinkBasename(device.bound(), "driver");
    if (!name) FailWithErrno();
    return name;
}

std::string ModuleName(const SysfsDevice& device)
{
    return LinkBasename(device.bound(), "driver/module").value_or(std::string());
}

std::optional<std::string> DriverText(const SysfsDevice& device)
{
    std::optional<std::string> driver = DriverName(device);
    if (!driver) return std::nullopt;
    const std::string module = ModuleName(device);
    if (module.empty() || Canonical(module) == Canonical(*driver)) return driver;
    return *driver + " (" + module + ")";
}

uint32_t LoadOrder(SysfsDeviceTable& table, const SysfsDevice& device)
{
    const std::string module = ModuleName(device);
    if (module.empty()) return 0;
    const std::vector<std::string>& modules = table.Modules();
    const std::string wanted = Canonical(module);
    for (size_t i = 0; i < modules.size(); ++i)
        if (Canonical(modules[i]) == wanted) return static_cast<uint32_t>(modules.size() - i);  // newest first
    return 0;
}

std::vector<uint32_t> DeviceInterrupts(SysfsDeviceTable& table, const SysfsDevice& device)
{
    const int bound = device.bound();
    auto positive = [](std::optional<uint64_t> n) { return n && *n > 0 && *n <= UINT32_MAX; };
    if (device.IsCharacterDevice()) {
        const std::optional<uint64_t> own = ReadNumber(device.node.get(), "irq");
        if (positive(own)) return {static_cast<uint32_t>(*own)};
    }
    std::vector<uint32_t> numbers = MessageInterrupts(bound);
    if (!numbers.empty()) return Sorted(std::move(numbers));
    // A PCI device under MSI-X reads 0 here.
    const std::optional<uint64_t> line = ReadNumber(bound, "irq");
    if (positive(line)) return {static_cast<uint32_t>(*line)};
    std::string text;
    if (ReadFileAt(bound, "resources", text) == ProcRead::kOk) {
        numbers = ParsePnpResources(text).interrupts;
        if (!numbers.empty()) return Sorted(std::move(numbers));
    }
    for (const InterruptLine& entry : table.Interrupts())
        if (ServesDevice(entry, device.boundName) || ServesDevice(entry, device.legacyName)) numbers.push_back(entry.number);
    return Sorted(std::move(numbers));
}

std::vector<ResourceRange> DeviceRanges(const SysfsDevice& device, ResourceKind kind)
{
    if (device.IsCharacterDevice()) {
        const std::optional<uint64_t> base = ReadNumber(device.node.get(), kind == ResourceKind::Io ? "port" : "iomem_base");
        if (base && *base != 0) return {ResourceRange{kind, *base, *base}};
    }
    std::string text;
    if (ReadFileAt(device.bound(), "resource", text) == ProcRead::kOk) {
        std::vector<ResourceRange> ranges = OfKind(ParsePciResource(text), kind);
        if (!ranges.empty()) return ranges;
    }
    if (ReadFileAt(device.bound(), "resources", text) == ProcRead::kOk) return OfKind(ParsePnpResources(text).ranges, kind);
    return {};
}

std::optional<int> DevicePower(const SysfsDevice& device)
{
    std::string text;
    if (ReadFileAt(device.bound(), "power_state", text) == ProcRead::kOk)
        if (const std::optional<int> state = ParsePciPowerState(text)) return state;
    const ProcRead read = ReadFileAt(device.bound(), "power/runtime_status", text);
    if (read != ProcRead::kOk) {
        FailWithErrno();
        return std::nullopt;
    }
    const std::optional<int> state = ParseRuntimeStatus(text);
    if (!state) Fail(EOPNOTSUPP);  // "unsupported": the driver does no power management
    return state;
}

}  // namespace kestrun::platform::linux_backend
