// The service manager: enumeration and control of the hosted services.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform {

enum ServiceState : int32_t {
    kServiceOff = 0,
    kServiceRunning = 1,
    kServiceStartingUp = 2,
    kServiceShuttingDown = 3,
    kServiceUnloading = 4,
    kServiceUninitialized = 5,
    kServiceUnknown = -1,
};

struct ServiceEntry {
    std::wstring prefix;     // device prefix with index and colon, e.g. "HTP0:"
    std::wstring dllName;    // module hosting the service
    uint64_t handle = 0;
    int32_t state = kServiceOff;
};

enum class ServiceControl : uint32_t {
    Start = 0x01040004,
    Stop = 0x01040008,
    Refresh = 0x0104000C,
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // nullopt (last error set) when the service manager cannot be asked.
    virtual std::optional<std::vector<ServiceEntry>> EnumServices() = 0;
    // Blocks until the service manager answered.
    virtual bool Control(const std::wstring& prefix, ServiceControl code) = 0;
    // Registry key (under the local machine hive) holding the service's settings.
    virtual std::wstring RegistryKey(const std::wstring& prefix) = 0;
};

}  // namespace kestrun::platform
