#include "platform/linux/LinuxPlatform.h"

#include "platform/common/RegistryStore.h"

namespace kestrun::platform::linux_backend {

namespace {

class LinuxPlatform final : public Platform {
public:
    explicit LinuxPlatform(const LinuxRoots& roots)
        : toolHelp_(CreateLinuxToolHelp(roots)),
          kernel_(CreateLinuxKernel(roots)),
          registry_(CreateRegistryStore(DefaultRegistryPaths())),
          services_(CreateLinuxServices(roots)),
          devices_(CreateLinuxDevices(roots)),
          interfaces_(CreateLinuxInterfaces(roots)),
          desktop_(CreateLinuxDesktop()),
          shell_(CreateLinuxShell())
    {
    }

    std::string Name() const override { return "linux"; }
    ToolHelp& toolHelp() override { return *toolHelp_; }
    Kernel& kernel() override { return *kernel_; }
    Registry& registry() override { return *registry_; }
    ServiceManager& services() override { return *services_; }
    DeviceManager& devices() override { return *devices_; }
    InterfaceTable& interfaces() override { return *interfaces_; }
    Desktop& desktop() override { return *desktop_; }
    Shell& shell() override { return *shell_; }

private:
    std::unique_ptr<ToolHelp> toolHelp_;
    std::unique_ptr<Kernel> kernel_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<ServiceManager> services_;
    std::unique_ptr<DeviceManager> devices_;
    std::unique_ptr<InterfaceTable> interfaces_;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<Shell> shell_;
};

}  // namespace

std::unique_ptr<Platform> CreateLinuxPlatform(const LinuxRoots& roots)
{
    return std::make_unique<LinuxPlatform>(roots);
}

}  // namespace kestrun::platform::linux_backend
