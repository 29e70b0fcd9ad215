// Devices on Linux are not wired yet: the device manager answers "not supported".
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxDevices final : public DeviceManager {
public:
    std::optional<std::vector<DeviceInfo>> FindDevices(const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    std::optional<int> GetDevicePower(const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    bool DeactivateDevice(uint64_t) override { return Fail(ENOSYS); }
};
}  // namespace

std::unique_ptr<DeviceManager> CreateLinuxDevices(const LinuxRoots&) { return std::make_unique<LinuxDevices>(); }

}  // namespace kestrun::platform::linux_backend
