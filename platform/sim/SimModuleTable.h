// The simulated device's modules (DLLs and executables it knows of, in ROM or
// RAM), in the order they were added, by id and by name.
#pragma once

#include "platform/sim/SimRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::sim {

class SimModuleTable {
public:
    [[nodiscard]] const std::vector<SimModule>& all() const { return modules_; }
    [[nodiscard]] size_t size() const { return modules_.size(); }
    [[nodiscard]] bool Contains(uint32_t moduleId) const { return index_.count(moduleId) != 0; }

    // Adds a module whose id is not in the table yet.
    void Add(SimModule module);

    SimModule* Find(uint32_t moduleId);
    [[nodiscard]] const SimModule* Find(uint32_t moduleId) const;
    // The module with this name (case-insensitive); 0 when none.
    [[nodiscard]] uint32_t IdByName(const std::wstring& name) const;

private:
    std::vector<SimModule> modules_;
    std::unordered_map<uint32_t, size_t> index_;
    std::unordered_map<std::wstring, uint32_t> byName_;  // lower-case name
};

}  // namespace kestrun::platform::sim
