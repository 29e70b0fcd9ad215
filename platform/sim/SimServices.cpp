// The service manager of the simulated device.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimServices final : public ServiceManager {
public:
    explicit SimServices(SimDevice& device) : device_(device) {}

    std::optional<std::vector<ServiceEntry>> EnumServices() override
    {
        if (device_.Fails(SimCall::EnumServices)) return std::nullopt;
        std::vector<ServiceEntry> entries;
        entries.reserve(device_.services().size());
        for (const SimService& service : device_.services()) entries.push_back(service.entry);
        return entries;
    }

    // Start makes a service Running and Stop makes it Off; asking a service for
    // the state it is already in fails, as the service host refuses it.
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
            return true;
        }
        return Fail(EINVAL);
    }

    std::wstring RegistryKey(const std::wstring& prefix) override
    {
        const SimService* service = device_.FindService(prefix);
        if (service == nullptr || service->keyName.empty()) return {};
        return L"Services\\" + service->keyName;
    }

private:
    SimDevice& device_;
};

}  // namespace

std::unique_ptr<ServiceManager> CreateSimServices(SimDevice& device) { return std::make_unique<SimServices>(device); }

}  // namespace kestrun::platform::sim
