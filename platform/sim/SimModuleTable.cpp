#include "platform/sim/SimModuleTable.h"

#include "platform/sim/SimProfile.h"

#include <utility>

namespace kestrun::platform::sim {

void SimModuleTable::Add(SimModule module)
{
    const uint32_t id = module.id;
    std::wstring name = Lower(module.name);
    modules_.push_back(std::move(module));
    index_[id] = modules_.size() - 1;
    byName_.emplace(std::move(name), id);
}

SimModule* SimModuleTable::Find(uint32_t moduleId)
{
    return const_cast<SimModule*>(std::as_const(*this).Find(moduleId));
}

const SimModule* SimModuleTable::Find(uint32_t moduleId) const
{
    auto it = index_.find(moduleId);
    return it == index_.end() ? nullptr : &modules_[it->second];
}

uint32_t SimModuleTable::IdByName(const std::wstring& name) const
{
    auto it = byName_.find(Lower(name));
    return it == byName_.end() ? 0 : it->second;
}

}  // namespace kestrun::platform::sim
