#include "platform/linux/LinuxPlatform.h"

#include "platform/common/ComposedPlatform.h"
#include "platform/common/OverlayRegistry.h"
#include "platform/common/RegistryStore.h"
#include "platform/linux/DpkgIndex.h"

namespace kestrun::platform::linux_backend {

namespace {

class LinuxPlatform final : public ComposedPlatform<> {
public:
    explicit LinuxPlatform(const LinuxRoots& roots) : packages_(std::make_shared<DpkgIndex>(roots.dpkg))
    {
        // The devices' keys of the machine hive are made from sysfs; the rest of it is the store's.
        const std::shared_ptr<SysfsDeviceTable> devices = CreateSysfsDeviceTable(roots);
        auto registry = CreateOverlayRegistry(CreateRegistryStore(DefaultRegistryPaths()),
                                              {KeyOverlay{Hive::LocalMachine, CreateLinuxDeviceKeys(devices)}});
        SetServices({CreateLinuxToolHelp(roots), CreateLinuxKernel(roots), std::move(registry), CreateLinuxServices(roots, packages_),
                     CreateLinuxDevices(devices), CreateLinuxInterfaces(roots), CreateLinuxDesktop(), CreateLinuxShell(packages_, roots.doc)});
    }

    std::string Name() const override { return "linux"; }

private:
    std::shared_ptr<DpkgIndex> packages_;  // built at the first question, shared by whatever asks who owns a file
};

}  // namespace

std::unique_ptr<Platform> CreateLinuxPlatform(const LinuxRoots& roots)
{
    return std::make_unique<LinuxPlatform>(roots);
}

}  // namespace kestrun::platform::linux_backend
