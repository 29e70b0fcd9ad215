#include "platform/sim/SimPlatform.h"

#include "platform/Notice.h"
#include "platform/common/ComposedPlatform.h"
#include "platform/common/RegistryStore.h"
#include "platform/sim/SimBackend.h"

namespace kestrun::platform::sim {

namespace {

// The device's clock as batch mode and the refresh timer meet it; an event that
// cannot be done is said in one line, and the run goes on.
class SimDeviceTime final : public DeviceTime {
public:
    explicit SimDeviceTime(SimDevice& device) : device_(device) {}
    [[nodiscard]] bool IsVirtual() const override { return device_.clockMode() == ClockMode::Manual; }
    void Advance(uint32_t milliseconds) override
    {
        if (IsVirtual()) device_.AdvanceTime(milliseconds);
    }
    void BeginTick(uint32_t tick) override
    {
        for (const std::string& problem : device_.BeginTick(tick)) Notify(problem);
    }

private:
    SimDevice& device_;
};

class SimPlatformImpl final : public ComposedPlatform<SimPlatform> {
public:
    SimPlatformImpl(const SimProfile& profile, std::unique_ptr<Registry> userStore)
        : device_(std::make_unique<SimDevice>(profile))
    {
        std::unique_ptr<Registry> registry = CreateSimRegistry(*device_, std::move(userStore));
        std::unique_ptr<ServiceManager> services = CreateSimServices(*device_, *registry);
        SetServices({CreateSimToolHelp(*device_), CreateSimKernel(*device_), std::move(registry), std::move(services),
                     CreateSimDevices(*device_), CreateSimInterfaces(*device_), CreateSimDesktop(*device_),
                     CreateSimShell(*device_)});
    }
    // The services refer to the device: they go before it.
    ~SimPlatformImpl() override { ReleaseServices(); }

    std::string Name() const override { return "sim"; }
    SimDevice& device() override { return *device_; }
    DeviceTime* deviceTime() override { return &time_; }

private:
    std::unique_ptr<SimDevice> device_;
    SimDeviceTime time_{*device_};
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
