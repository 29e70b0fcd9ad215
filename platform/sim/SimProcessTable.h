// The simulated device's processes in the order they were started, with an
// index by id and a hint for walks that ask for them in list order.
#pragma once

#include "platform/sim/SimRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::sim {

class SimProcessTable {
public:
    [[nodiscard]] const std::vector<SimProcess>& all() const { return processes_; }
    std::vector<SimProcess>& all() { return processes_; }
    [[nodiscard]] bool Contains(uint32_t processId) const { return index_.count(processId) != 0; }

    // Appends a process whose id is not in the table yet; the reference stays
    // valid until the next process is added or removed.
    SimProcess& Add(SimProcess process);
    // Removes a process; false when there is none with this id.
    bool Erase(uint32_t processId);

    SimProcess* Find(uint32_t processId);
    [[nodiscard]] const SimProcess* Find(uint32_t processId) const;
    // First process with this executable name (case-insensitive); 0 when none.
    [[nodiscard]] uint32_t IdByName(const std::wstring& exeName) const;

private:
    std::vector<SimProcess> processes_;
    std::unordered_map<uint32_t, size_t> index_;
    mutable size_t lastFound_ = 0;  // Find's last answer: a hint, checked before use
};

}  // namespace kestrun::platform::sim
