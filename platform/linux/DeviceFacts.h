// What sysfs and /proc say of one device the table holds: its driver and module,
// the module's load position, its interrupts, its I/O and memory ranges and its
// power state. Every read goes through the device's own directory handle, so a
// device that has gone answers nothing rather than another device's values.
#pragma once

#include "platform/linux/DeviceResources.h"
#include "platform/linux/SysfsDeviceTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

// The driver bound to the device ("serial"); nullopt (last error set) when
// the device has gone or lost its driver.
std::optional<std::string> DriverName(const SysfsDevice& device);

// The kernel module that holds the driver (the driver's `module` link); empty
// when the driver has none.
std::string ModuleName(const SysfsDevice& device);

// What the Module column shows: the driver, with its module in parentheses
// when that is named otherwise ("serial8250 (8250)", "virtio_net").
std::optional<std::string> DriverText(const SysfsDevice& device);

// The module's position in the load order, 1 for the first loaded; 0 when the
// driver is built in or its module is not listed in /proc/modules.
uint32_t LoadOrder(SysfsDeviceTable& table, const SysfsDevice& device);

// The interrupt numbers the device uses, lowest first, as /proc/interrupts
// numbers them, from the first source that names any: a character device's own
// `irq`, the bound device's `msi_irqs/`, its `irq`, its PNP `resources`, and
// last the interrupt lines whose handlers carry the device's name.
std::vector<uint32_t> DeviceInterrupts(SysfsDeviceTable& table, const SysfsDevice& device);

// The device's I/O or memory ranges, from the first source that has any: a
// character device's own `port` or `iomem_base`, the bound device's PCI
// `resource` table, its PNP `resources`.
std::vector<ResourceRange> DeviceRanges(const SysfsDevice& device, ResourceKind kind);

// The power state 0 (D0) .. 4 (D4): the PCI `power_state`, else the runtime
// status (active D0, suspended D3). nullopt (last error set) when neither says.
std::optional<int> DevicePower(const SysfsDevice& device);

}  // namespace kestrun::platform::linux_backend
