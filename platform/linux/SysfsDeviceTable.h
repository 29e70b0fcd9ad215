// The devices that have a bound driver, as the last search of sysfs found them:
// the character devices of /sys/dev/char whose device has a driver, and every
// bus device (/sys/bus/*/devices/*) with a `driver` link. Each is held open by
// its sysfs directory (O_PATH), so a device that goes and comes back under the
// same name is a new device with a new handle, and reads through the old handle
// fail instead of reading the newcomer.
#pragma once

#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcInterrupts.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::linux_backend {

struct SysfsDevice {
    uint64_t handle = 0;
    std::string legacyName;  // the /dev name of a character device ("ttyS0"), else the directory name ("0000:00:03.0")
    std::string key;         // the sysfs directory as the system names it: "/sys/devices/pnp0/00:00"
    std::string devicePath;  // "/dev/ttyS0" for a character device; the bus path "/sys/bus/pci/devices/..." otherwise
    std::string bus;         // the bus of the device the driver is bound to: "pci", "pnp", "serial-base"
    std::string boundName;   // that device's directory name, which its driver's unbind takes
    Fd node;                 // O_PATH: the directory listed
    Fd parent;               // O_PATH: the bound device of a character device; invalid for a bus device
    dev_t nodeDevice = 0;    // identity of the directory listed
    ino_t nodeInode = 0;

    [[nodiscard]] bool IsCharacterDevice() const { return parent.valid(); }
    // The directory of the device the driver is bound to.
    [[nodiscard]] int bound() const { return parent.valid() ? parent.get() : node.get(); }
};

class SysfsDeviceTable {
public:
    using Devices = std::vector<std::unique_ptr<SysfsDevice>>;

    // sysRoot and procRoot stand for /sys and /proc.
    SysfsDeviceTable(std::string sysRoot, std::string procRoot);

    // Searches sysfs anew. Devices found again keep their handle; devices gone
    // are dropped. False (last error set) when neither /sys/dev/char nor /sys/bus
    // can be read; the table is then unchanged.
    bool Search();

    // In search order: character devices by number, then bus by bus, by name.
    [[nodiscard]] const Devices& devices() const { return devices_; }
    [[nodiscard]] const SysfsDevice* ByHandle(uint64_t handle) const;
    [[nodiscard]] const SysfsDevice* ByName(std::string_view legacyName) const;  // case-insensitive
    [[nodiscard]] const SysfsDevice* ByKey(std::string_view key) const;          // case-insensitive

    // /proc/interrupts and /proc/modules, read at most once after each search;
    // empty when unreadable (a machine without modules has no /proc/modules).
    const std::vector<InterruptLine>& Interrupts();
    const std::vector<std::string>& Modules();

private:
    static bool SearchCharacterDevices(int sys, Devices& found);
    static bool SearchBuses(int sys, Devices& found);
    void Adopt(Devices found);

    std::string sysRoot_;
    std::string procRoot_;
    Devices devices_;
    std::unordered_map<uint64_t, SysfsDevice*> byHandle_;
    std::unordered_map<std::string, SysfsDevice*> byName_;  // folded legacy name
    std::unordered_map<std::string, SysfsDevice*> byKey_;   // folded key
    uint64_t nextHandle_ = 0x1000;
    std::vector<InterruptLine> interrupts_;
    std::vector<std::string> modules_;
    bool interruptsRead_ = false;
    bool modulesRead_ = false;
};

// ASCII lower case: sysfs names are ASCII, and keys and legacy names compare case-insensitively.
std::string FoldAscii(std::string_view text);

}  // namespace kestrun::platform::linux_backend
