// The service manager: enumeration and control of the hosted services, and the
// settings keys the Services page reads for each service.
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
    std::wstring prefix;     // the service's name as the manager knows it: "HTP0:" on the device, a unit name on Linux
    std::wstring dllName;    // file name of the module hosting the service
    std::wstring dllPath;    // full path of that module; empty when the service names none
    uint64_t handle = 0;
    int32_t state = kServiceOff;
};

enum class ServiceControl : uint32_t {
    Start = 0x01040004,
    Stop = 0x01040008,
    Refresh = 0x0104000C,
};

// The settings of the services as registry keys: the subkeys of "Services",
// each naming the service it is for and holding "FriendlyName", "DisplayName",
// "Description" (strings) and "Order" (a number). The Services page runs one
// lookup over them on every backend: the device's keys live in its registry,
// the Linux keys are made from the units the last enumeration saw.
class ServiceKeys {
public:
    virtual ~ServiceKeys() = default;
    // The subkey names in enumeration order; nullopt (last error set) when "Services" cannot be opened.
    virtual std::optional<std::vector<std::wstring>> SubKeys() = 0;
    // The prefix the subkey is for: on the device its "Prefix" and "Index" values
    // as "%s%lu:", nullopt when either is missing; on Linux the unit's name.
    virtual std::optional<std::wstring> NamedPrefix(const std::wstring& subKey) = 0;
    // nullopt when the subkey or the value is missing or of another type.
    virtual std::optional<std::wstring> String(const std::wstring& subKey, const std::wstring& name) = 0;
    virtual std::optional<uint32_t> Number(const std::wstring& subKey, const std::wstring& name) = 0;
};

class ServiceManager {
public:
    virtual ~ServiceManager() = default;
    // nullopt (last error set) when the service manager cannot be asked.
    virtual std::optional<std::vector<ServiceEntry>> EnumServices() = 0;
    // Blocks until the service manager answered, or a bounded wait ran out.
    virtual bool Control(const std::wstring& prefix, ServiceControl code) = 0;
    virtual ServiceKeys& Keys() = 0;
};

}  // namespace kestrun::platform
