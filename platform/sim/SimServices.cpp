// The service manager of the simulated device.
#include "platform/LastError.h"
#include "platform/common/RegistryServiceKeys.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimServices final : public ServiceManager {
public:
    SimServices(SimDevice& device, Registry& registry) : device_(device), keys_(CreateRegistryServiceKeys(registry)) {}

    std::optional<std::vector<ServiceEntry>> EnumServices() override
    {
        if (device_.Fails(SimCall::EnumServices)) return std::nullopt;
        std::vector<ServiceEntry> entries;
        entries.reserve(device_.services().size());
        for (const SimService& service : device_.services()) entries.push_back(service.entry);
        return entries;
    }

    // Start makes a service Running and Stop makes it Off; asking a service for
    // the state it is already in fails, as the service host refuses it. Only a
    // running service can reread its configuration.
    bool Control(const std::wstring& prefix, ServiceControl code) override
    {
        if (device_.Fails(SimCall::ServiceControl)) return false;
        SimService* service = device_.FindService(prefix);
        if (service == nullptr) return Fail(ENOENT);  // no device file of that name
        device_.serviceControls.emplace_back(service->entry.prefix, code);
        int32_t& state = service->entry.state;
        switch (code) {
        case ServiceControl::Start:
            if (state == kServiceRunning) return Fail(EALREADY);
            state = kServiceRunning;
            return true;
        case ServiceControl::Stop:
            if (state == kServiceOff) return Fail(EALREADY);
            state = kServiceOff;
            return true;
        case ServiceControl::Refresh:
            if (state != kServiceRunning) return Fail(ESRCH);
            return true;
        }
        return Fail(EINVAL);
    }

    // The keys live in the device's registry, under the local machine hive.
    ServiceKeys& Keys() override { return *keys_; }

private:
    SimDevice& device_;
    std::unique_ptr<ServiceKeys> keys_;
};

}  // namespace

std::unique_ptr<ServiceManager> CreateSimServices(SimDevice& device, Registry& registry)
{
    return std::make_unique<SimServices>(device, registry);
}

}  // namespace kestrun::platform::sim
