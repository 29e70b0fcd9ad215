// The network interface table of the simulated device.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

namespace kestrun::platform::sim {

namespace {

class SimInterfaces final : public InterfaceTable {
public:
    explicit SimInterfaces(SimDevice& device) : device_(device) {}

    std::optional<std::vector<InterfaceRow>> GetIfTable() override
    {
        device_.Sync();  // counters follow the real clock
        if (device_.Fails(SimCall::IfTable)) return std::nullopt;
        std::vector<InterfaceRow> rows;
        rows.reserve(device_.interfaces().size());
        for (const SimInterface& itf : device_.interfaces()) rows.push_back(itf.row);
        return rows;
    }

    std::wstring GetAdapterName(uint32_t index) override
    {
        if (device_.Fails(SimCall::AdapterName)) return {};
        const SimInterface* itf = device_.FindInterface(index);
        return itf == nullptr ? std::wstring() : itf->adapterName;
    }

private:
    SimDevice& device_;
};

}  // namespace

std::unique_ptr<InterfaceTable> CreateSimInterfaces(SimDevice& device) { return std::make_unique<SimInterfaces>(device); }

}  // namespace kestrun::platform::sim
