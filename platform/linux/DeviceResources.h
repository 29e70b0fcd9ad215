// The texts sysfs gives for a device's resources and power: a PCI device's
// `resource` table, a PNP device's `resources` list, single numbers (`irq`,
// `port`, `iomem_base`) and the power states.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrun::platform::linux_backend {

enum class ResourceKind { Io, Memory };

// An address range, both ends inclusive.
struct ResourceRange {
    ResourceKind kind = ResourceKind::Io;
    uint64_t start = 0;
    uint64_t end = 0;
};

// The base address registers of a PCI device: the first six lines of its
// `resource` file ("0x<start> 0x<end> 0x<flags>", flags 0x100 for I/O and 0x200
// for memory). Unused registers (all zero), the expansion ROM and the lines after
// it (bridge windows, virtual functions), and lines that do not parse are left out.
std::vector<ResourceRange> ParsePciResource(std::string_view text);

// What a PNP device's `resources` file lists for it ("io 0x3f8-0x3ff",
// "mem 0xfed00000-0xfed003ff", "irq 4"); disabled entries are left out.
struct PnpResources {
    std::vector<ResourceRange> ranges;
    std::vector<uint32_t> interrupts;
};
PnpResources ParsePnpResources(std::string_view text);

// A number as sysfs prints it: decimal, or hexadecimal after "0x"; surrounding
// blanks and a line break allowed. nullopt for anything else or on overflow.
std::optional<uint64_t> ParseSysfsNumber(std::string_view text);

// A PCI `power_state`: D0, D1, D2, D3hot (3) or D3cold (4); nullopt for
// "unknown", "error" or anything else.
std::optional<int> ParsePciPowerState(std::string_view text);

// A `power/runtime_status` as the state the device is in now: active and
// suspending (not yet asleep) are D0, suspended and resuming (still asleep) D3;
// nullopt for "unsupported", "error" or anything else.
std::optional<int> ParseRuntimeStatus(std::string_view text);

}  // namespace kestrun::platform::linux_backend
