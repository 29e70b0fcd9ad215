#include "platform/linux/LinuxPlatform.h"

#include "platform/common/ComposedPlatform.h"
#include "platform/common/RegistryStore.h"

namespace kestrun::platform::linux_backend {

namespace {

class LinuxPlatform final : public ComposedPlatform<> {
public:
    explicit LinuxPlatform(const LinuxRoots& roots)
    {
        SetServices({CreateLinuxToolHelp(roots), CreateLinuxKernel(roots), CreateRegistryStore(DefaultRegistryPaths()),
                     CreateLinuxServices(roots), CreateLinuxDevices(roots), CreateLinuxInterfaces(roots),
                     CreateLinuxDesktop(), CreateLinuxShell()});
    }

    std::string Name() const override { return "linux"; }
};

}  // namespace

std::unique_ptr<Platform> CreateLinuxPlatform(const LinuxRoots& roots)
{
    return std::make_unique<LinuxPlatform>(roots);
}

}  // namespace kestrun::platform::linux_backend
