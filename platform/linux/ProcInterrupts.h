// The interrupt table of /proc/interrupts and the module list of /proc/modules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::platform::linux_backend {

// One numbered line of /proc/interrupts, e.g.
//  " 26:          0          2  IO-APIC   4-edge      ttyS0".
struct InterruptLine {
    uint32_t number = 0;               // the Linux interrupt number, the first column
    std::string chip;                  // "IO-APIC", "PCI-MSIX-0000:00:03.0"
    std::string hardware;              // the controller's own number and trigger, "4-edge"
    std::vector<std::string> actions;  // the handlers' names, "ttyS0", "virtio2-input.0"
};

// The numbered lines of the table; lines named by letters (NMI, LOC, ERR) and
// lines that do not parse are left out. The header's CPU columns say how many
// counts each line carries; without a header every leading number is a count.
std::vector<InterruptLine> ParseInterrupts(std::string_view text);

// Whether the line serves the device called name: one of its handlers is the
// name itself or starts with "name-" (virtio2-input.0 serves virtio2), or its
// chip is the device's own message-signalled one ("PCI-MSIX-0000:00:03.0").
bool ServesDevice(const InterruptLine& line, std::string_view name);

// The names of the loaded modules in the order of /proc/modules, the most
// recently loaded first.
std::vector<std::string> ParseModules(std::string_view text);

}  // namespace kestrun::platform::linux_backend
