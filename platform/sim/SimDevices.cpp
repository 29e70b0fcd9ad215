// The device manager of the simulated device: active stream devices, power states, deactivation.
#include "platform/LastError.h"
#include "platform/common/Wildcard.h"
#include "platform/sim/SimBackend.h"

#include <algorithm>
#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimDevices final : public DeviceManager {
public:
    explicit SimDevices(SimDevice& device) : device_(device) {}

    std::optional<std::vector<DeviceInfo>> FindDevices(const std::wstring& pattern) override
    {
        if (device_.Fails(SimCall::FindDevices)) return std::nullopt;
        std::vector<DeviceInfo> found;
        for (const SimStreamDevice& device : device_.devices())
            if (MatchesWildcard(pattern, device.info.legacyName)) found.push_back(device.info);
        return found;
    }

    std::optional<int> GetDevicePower(const std::wstring& legacyName) override
    {
        if (device_.Fails(SimCall::DevicePower)) return std::nullopt;
        const SimStreamDevice* device = device_.FindDevice(legacyName);
        if (device == nullptr) { Fail(ENODEV); return std::nullopt; }
        if (device->power < 0) { Fail(EOPNOTSUPP); return std::nullopt; }  // a driver without power management
        return device->power;
    }

    bool DeactivateDevice(uint64_t handle) override
    {
        if (device_.Fails(SimCall::DeactivateDevice)) return false;
        auto& devices = device_.devices();
        auto it = std::find_if(devices.begin(), devices.end(), [handle](const SimStreamDevice& d) { return d.info.handle == handle; });
        if (it == devices.end()) return Fail(ENODEV);
        if (!it->deactivatable) return Fail(EBUSY);
        device_.RemoveDevice(*it);
        return true;
    }

private:
    SimDevice& device_;
};

}  // namespace

std::unique_ptr<DeviceManager> CreateSimDevices(SimDevice& device) { return std::make_unique<SimDevices>(device); }

}  // namespace kestrun::platform::sim
