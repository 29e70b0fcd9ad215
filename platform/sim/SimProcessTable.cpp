#include "platform/sim/SimProcessTable.h"

#include "platform/sim/SimProfile.h"

#include <utility>

namespace kestrun::platform::sim {

SimProcess& SimProcessTable::Add(SimProcess process)
{
    const uint32_t id = process.id;
    processes_.push_back(std::move(process));
    index_[id] = processes_.size() - 1;
    return processes_.back();
}

bool SimProcessTable::Erase(uint32_t processId)
{
    const auto found = index_.find(processId);
    if (found == index_.end()) return false;
    processes_.erase(processes_.begin() + static_cast<std::ptrdiff_t>(found->second));
    index_.clear();
    for (size_t i = 0; i < processes_.size(); ++i) index_[processes_[i].id] = i;
    return true;
}

SimProcess* SimProcessTable::Find(uint32_t processId)
{
    return const_cast<SimProcess*>(std::as_const(*this).Find(processId));
}

// Walks over all processes ask in list order: the process after the last one
// found is tried before the index.
const SimProcess* SimProcessTable::Find(uint32_t processId) const
{
    for (size_t at : {lastFound_, lastFound_ + 1})
        if (at < processes_.size() && processes_[at].id == processId) {
            lastFound_ = at;
            return &processes_[at];
        }
    auto it = index_.find(processId);
    if (it == index_.end()) return nullptr;
    lastFound_ = it->second;
    return &processes_[it->second];
}

uint32_t SimProcessTable::IdByName(const std::wstring& exeName) const
{
    const std::wstring wanted = Lower(exeName);
    for (const SimProcess& process : processes_)
        if (Lower(process.exeName) == wanted) return process.id;
    return 0;
}

}  // namespace kestrun::platform::sim
