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

#include <memory>
#include <string>

namespace kestrun::platform {

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
};

// The process-wide platform (platform/Backends.h builds one). Install() takes ownership; Current() must not be
// called before a platform is installed.
void Install(std::unique_ptr<Platform> platform);
Platform& Current();
bool IsInstalled();

}  // namespace kestrun::platform
