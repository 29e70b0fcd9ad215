// The device manager: active stream devices, their power state, deactivation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform {

struct DeviceInfo {
    uint64_t handle = 0;
    std::wstring legacyName;  // prefix, index and colon, e.g. "COM1:"
    std::wstring deviceKey;   // registry key of the device (local machine hive)
    std::wstring name;        // full device name
    std::wstring busName;
};

class DeviceManager {
public:
    virtual ~DeviceManager() = default;
    // Devices whose legacy name matches pattern ("*" for all); nullopt (last error set) when the search cannot start.
    virtual std::optional<std::vector<DeviceInfo>> FindDevices(const std::wstring& pattern) = 0;
    // Power state 0 (D0) .. 4 (D4); nullopt (last error set) when it cannot be queried.
    virtual std::optional<int> GetDevicePower(const std::wstring& legacyName) = 0;
    virtual bool DeactivateDevice(uint64_t handle) = 0;
};

}  // namespace kestrun::platform
