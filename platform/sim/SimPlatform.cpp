#include "platform/sim/SimPlatform.h"

#include "platform/common/RegistryStore.h"
#include "platform/sim/SimBackend.h"

namespace kestrun::platform::sim {

namespace {

class SimPlatformImpl final : public SimPlatform {
public:
    SimPlatformImpl(const SimProfile& profile, std::unique_ptr<Registry> userStore)
        : device_(std::make_unique<SimDevice>(profile)),
          toolHelp_(CreateSimToolHelp(*device_)),
          kernel_(CreateSimKernel(*device_)),
          registry_(CreateSimRegistry(*device_, std::move(userStore))),
          services_(CreateSimServices(*device_)),
          devices_(CreateSimDevices(*device_)),
          interfaces_(CreateSimInterfaces(*device_)),
          desktop_(CreateSimDesktop(*device_)),
          shell_(CreateSimShell(*device_))
    {
    }

    std::string Name() const override { return "sim"; }
    ToolHelp& toolHelp() override { return *toolHelp_; }
    Kernel& kernel() override { return *kernel_; }
    Registry& registry() override { return *registry_; }
    ServiceManager& services() override { return *services_; }
    DeviceManager& devices() override { return *devices_; }
    InterfaceTable& interfaces() override { return *interfaces_; }
    Desktop& desktop() override { return *desktop_; }
    Shell& shell() override { return *shell_; }
    SimDevice& device() override { return *device_; }

private:
    std::unique_ptr<SimDevice> device_;
    std::unique_ptr<ToolHelp> toolHelp_;
    std::unique_ptr<Kernel> kernel_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<ServiceManager> services_;
    std::unique_ptr<DeviceManager> devices_;
    std::unique_ptr<InterfaceTable> interfaces_;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<Shell> shell_;
};

std::unique_ptr<SimPlatform> Build(SimProfile profile, const SimOptions& options)
{
    if (options.clock) profile.clock = *options.clock;
    std::unique_ptr<Registry> userStore;
    if (!options.userHivePath.empty()) userStore = CreateRegistryStore({options.userHivePath, ":memory:"});
    return std::make_unique<SimPlatformImpl>(profile, std::move(userStore));
}

}  // namespace

std::unique_ptr<Platform> CreateSimPlatform(const std::string& profilePath, std::string& error)
{
    std::optional<SimProfile> profile = profilePath.empty() ? std::optional<SimProfile>(BuiltinProfile()) : LoadProfileFile(profilePath, error);
    if (!profile) return nullptr;
    SimOptions options;
    options.userHivePath = DefaultRegistryPaths().currentUser;
    options.clock.reset();  // the demo runs on the profile's clock
    return Build(std::move(*profile), options);
}

std::unique_ptr<SimPlatform> CreateSimPlatformForTest(const SimProfile& profile, const SimOptions& options)
{
    return Build(profile, options);
}

std::unique_ptr<SimPlatform> CreateSimPlatformFromJson(const std::string& json, std::string& error, const SimOptions& options)
{
    std::optional<SimProfile> profile = ParseProfile(json, "profile", error);
    if (!profile) return nullptr;
    return Build(std::move(*profile), options);
}

}  // namespace kestrun::platform::sim
