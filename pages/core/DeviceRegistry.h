// What the Devices page reads from a device's registry key (in the local
// machine hive): the driver, its load order, its interrupt and its I/O and
// memory bases, each as a number and as the text the page shows.
#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <string>

namespace kestrun {

struct DeviceRegistryValues {
    std::wstring module;      // "Dll"
    uint32_t order = 0;       // "Order"
    uint32_t irq = 0;         // "IRQ", else "InterruptNumber", else SysIntr - 16; 0 = none
    uint32_t sysIntr = 0;     // "SysIntr"
    uint64_t ioBase = 0;      // the first base, for sorting
    std::wstring ioBaseText;  // as shown: "3f8", "300,310"
    uint64_t memBase = 0;
    std::wstring memBaseText;
};

// Reads the values of one device key. A key that is empty or cannot be opened,
// and values that are missing, leave their fields at zero and empty. A base is
// the first of its names present (I/O: IoBase, IoAddr, IoBaseAddress, IoPort;
// memory: MemBase, MemAddr) and is taken by its type: a number is shown as
// lower-case hexadecimal; a string is shown as it is and parsed as hexadecimal;
// a string list is parsed from its first string and shown joined by commas; any
// other type is shown as the bytes read as text, with the number 0.
DeviceRegistryValues ReadDeviceRegistry(platform::Registry& registry, const std::wstring& key);

// The number of a hexadecimal text as "%lx" reads it: leading blanks, an
// optional 0x, then hex digits up to the first other character; 0 when none.
// Full 64 bits, so a memory base above 4 GiB keeps its order.
uint64_t ParseHexBase(const std::wstring& text);

}  // namespace kestrun
