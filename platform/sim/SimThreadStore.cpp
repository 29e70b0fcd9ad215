#include "platform/sim/SimThreadStore.h"

#include <algorithm>

namespace kestrun::platform::sim {

uint32_t SimThreadStore::Add(const SimThread& thread, const SimThreadDetails& details)
{
    uint32_t slot = 0;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
        threads_[slot] = thread;
        details_[slot] = details;
    } else {
        slot = static_cast<uint32_t>(threads_.size());
        threads_.push_back(thread);
        details_.push_back(details);
    }
    MarkBusy(slot, details.load > 0);
    index_.emplace(thread.id, slot);
    return slot;
}

void SimThreadStore::Remove(uint32_t slot)
{
    index_.erase(threads_[slot].id);
    threads_[slot] = SimThread{.id = 0};
    details_[slot] = {};
    MarkBusy(slot, false);
    freeSlots_.push_back(slot);
}

void SimThreadStore::SendHome(uint32_t processId)
{
    for (size_t slot = 0; slot < threads_.size(); ++slot) {
        SimThreadDetails& details = details_[slot];
        if (threads_[slot].id != 0 && details.currentProcessId == processId)
            details.currentProcessId = threads_[slot].ownerId;  // calls into it return
    }
}

void SimThreadStore::SetLoad(uint32_t slot, uint32_t load)
{
    details_[slot].load = load;
    MarkBusy(slot, load > 0);
}

void SimThreadStore::MarkBusy(uint32_t slot, bool busy)
{
    const auto at = std::lower_bound(busySlots_.begin(), busySlots_.end(), slot);
    const bool listed = at != busySlots_.end() && *at == slot;
    if (busy && !listed) busySlots_.insert(at, slot);
    if (!busy && listed) busySlots_.erase(at);
}

}  // namespace kestrun::platform::sim
