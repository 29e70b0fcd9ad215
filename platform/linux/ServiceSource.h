// What the Linux service manager asks of systemd or, without it, of the init
// scripts: the services with what the page reads of them, and their control.
#pragma once

#include "platform/Services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

struct LinuxService {
    ServiceEntry entry;              // prefix: the unit's or the script's name
    std::wstring displayName;        // the unit's Description, the script's Short-Description
    std::optional<uint32_t> order;   // the script's start order; systemd orders by dependencies
};

class ServiceSource {
public:
    virtual ~ServiceSource() = default;
    // In a stable order; nullopt (last error set) when the services cannot be read.
    virtual std::optional<std::vector<LinuxService>> List() = 0;
    // Blocks until the control finished or its bounded wait ran out.
    virtual bool Control(const std::string& name, ServiceControl code) = 0;
};

}  // namespace kestrun::platform::linux_backend
