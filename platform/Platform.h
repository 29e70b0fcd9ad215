// The platform: everything the program asks of the system, behind one object
// chosen once at start-up (KESTRUN_PLATFORM = linux | sim | sim:PROFILE.json).
#pragma once

#include "platform/Desktop.h"
#include "platform/Devices.h"
#include "platform/Interfaces.h"
#include "platform/Kernel.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/ToolHelp.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrun::platform {

// The time of a device that the program's own ticks drive: a simulated one.
// Batch mode moves a virtual clock by the interval instead of sleeping, and
// each refresh tick first lets the device do what its timeline holds for it.
class DeviceTime {
public:
    virtual ~DeviceTime() = default;
    // True when the clock moves only when told to.
    [[nodiscard]] virtual bool IsVirtual() const = 0;
    // Moves a virtual clock forward, charging every thread its load.
    virtual void Advance(uint32_t milliseconds) = 0;
    // Refresh tick `tick` (1: the first) is about to read the device.
    virtual void BeginTick(uint32_t tick) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    [[nodiscard]] virtual std::string Name() const = 0;  // "linux" or "sim"
    virtual ToolHelp& toolHelp() = 0;
    virtual Kernel& kernel() = 0;
    virtual Registry& registry() = 0;
    virtual ServiceManager& services() = 0;
    virtual DeviceManager& devices() = 0;
    virtual InterfaceTable& interfaces() = 0;
    virtual Desktop& desktop() = 0;
    virtual Shell& shell() = 0;
    // The device's own time; null for a live machine, whose time passes by itself.
    virtual DeviceTime* deviceTime() { return nullptr; }
};

// The process-wide platform (platform/Backends.h builds one). Install() takes ownership; Current() must not be
// called before a platform is installed.
void Install(std::unique_ptr<Platform> platform);
Platform& Current();
bool IsInstalled();

}  // namespace kestrun::platform
