// The network interface table of the simulated device: 32-bit counters that wrap,
// a table that must fit the reader's buffer, and an adapter list by index.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimInterfaces final : public InterfaceTable {
public:
    explicit SimInterfaces(SimDevice& device) : device_(device) {}

    InterfaceTableTraits Traits() const override { return {32, false}; }

    bool AllocateTable(InterfaceTableBuffer& buffer, uint32_t bytes) override
    {
        buffer.rows.clear();
        buffer.size = 0;
        if (device_.Fails(SimCall::IfTableMemory)) return false;
        buffer.size = bytes;
        return true;
    }

    bool GetIfTable(InterfaceTableBuffer& buffer, uint32_t& required) override
    {
        device_.Sync();  // counters follow the real clock
        required = buffer.size;
        if (device_.Fails(SimCall::IfTable)) return false;
        const std::vector<SimInterface>& interfaces = device_.interfaces();
        required = IfTableBytes(interfaces.size());
        if (required > buffer.size) return Fail(ENOBUFS);
        buffer.rows.resize(interfaces.size());
        for (size_t i = 0; i < interfaces.size(); ++i) buffer.rows[i] = interfaces[i].row;
        return true;
    }

    std::wstring GetAdapterName(uint32_t index) override
    {
        if (device_.Fails(SimCall::AdapterName)) return {};
        const SimInterface* itf = device_.FindInterface(index);
        if (itf == nullptr) {
            Fail(ENODEV);
            return {};
        }
        return itf->adapterName;
    }

private:
    SimDevice& device_;
};

}  // namespace

std::unique_ptr<InterfaceTable> CreateSimInterfaces(SimDevice& device) { return std::make_unique<SimInterfaces>(device); }

}  // namespace kestrun::platform::sim
