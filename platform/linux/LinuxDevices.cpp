// The device manager on Linux: the devices with a bound driver (see
// SysfsDeviceTable), their power state, and deactivation by unbinding the
// device from its driver.
#include "platform/LastError.h"
#include "platform/common/Wildcard.h"
#include "platform/linux/DeviceFacts.h"
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

class LinuxDevices final : public DeviceManager {
public:
    explicit LinuxDevices(std::shared_ptr<SysfsDeviceTable> table) : table_(std::move(table)) {}

    std::optional<std::vector<DeviceInfo>> FindDevices(const std::wstring& pattern) override
    {
        if (!table_->Search()) return std::nullopt;
        std::vector<DeviceInfo> found;
        for (const auto& device : table_->devices()) {
            DeviceInfo info;
            info.legacyName = Widen(device->legacyName);
            if (!MatchesWildcard(pattern, info.legacyName)) continue;
            info.handle = device->handle;
            info.deviceKey = Widen(device->key);
            info.name = Widen(device->devicePath);
            info.busName = Widen(device->bus);
            found.push_back(std::move(info));
        }
        return found;
    }

    std::optional<int> GetDevicePower(const std::wstring& legacyName) override
    {
        const SysfsDevice* device = table_->ByName(Narrow(legacyName));
        if (device == nullptr) {
            Fail(ENODEV);
            return std::nullopt;
        }
        return DevicePower(*device);
    }

    // Writes the bound device's directory name to its driver's unbind file,
    // found through the device's own handle: a device that has gone, or come
    // back as another, is not unbound by mistake.
    bool DeactivateDevice(uint64_t handle) override
    {
        const SysfsDevice* device = table_->ByHandle(handle);
        if (device == nullptr) return Fail(ENODEV);
        const Fd driver(::openat(device->bound(), "driver", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!driver.valid()) return Fail(ENODEV);  // gone, or no longer bound
        const Fd unbind(::openat(driver.get(), "unbind", O_WRONLY | O_CLOEXEC));
        if (!unbind.valid()) return errno == ENOENT ? Fail(ENOTSUP) : FailWithErrno();  // the bus cannot unbind
        const std::string& name = device->boundName;
        const ssize_t written = ::write(unbind.get(), name.data(), name.size());
        if (written < 0) return FailWithErrno();
        if (static_cast<size_t>(written) != name.size()) return Fail(EIO);
        return true;
    }

private:
    std::shared_ptr<SysfsDeviceTable> table_;
};

}  // namespace

std::shared_ptr<SysfsDeviceTable> CreateSysfsDeviceTable(const LinuxRoots& roots)
{
    return std::make_shared<SysfsDeviceTable>(roots.sys, roots.proc);
}

std::unique_ptr<DeviceManager> CreateLinuxDevices(std::shared_ptr<SysfsDeviceTable> table)
{
    return std::make_unique<LinuxDevices>(std::move(table));
}

}  // namespace kestrun::platform::linux_backend
