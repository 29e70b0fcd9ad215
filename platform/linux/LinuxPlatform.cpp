#include "platform/linux/LinuxPlatform.h"

#include "platform/common/ComposedPlatform.h"
#include "platform/common/RegistryStore.h"
#include "platform/linux/DpkgIndex.h"

namespace kestrun::platform::linux_backend {

namespace {

class LinuxPlatform final : public ComposedPlatform<> {
public:
    explicit LinuxPlatform(const LinuxRoots& roots) : packages_(std::make_shared<DpkgIndex>(roots.dpkg))
    {
        SetServices({CreateLinuxToolHelp(roots), CreateLinuxKernel(roots), CreateRegistryStore(DefaultRegistryPaths()),
                     CreateLinuxServices(roots, packages_), CreateLinuxDevices(roots), CreateLinuxInterfaces(roots),
                     CreateLinuxDesktop(), CreateLinuxShell()});
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
