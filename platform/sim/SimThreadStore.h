// The simulated device's threads in one contiguous store: a process's threads
// lie next to each other as they were added, and a removed thread's slot (id 0)
// is reused by the next one. The rest of each thread is kept slot by slot beside
// it, so that walks over thread times read half as much.
#pragma once

#include "platform/sim/SimRecords.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::sim {

class SimThreadStore {
public:
    // Stores a thread whose id is not stored yet; returns its slot.
    uint32_t Add(const SimThread& thread, const SimThreadDetails& details);
    // Empties a slot in use and forgets its thread.
    void Remove(uint32_t slot);
    // Threads that run in processId go back to the processes that own them.
    void SendHome(uint32_t processId);

    [[nodiscard]] bool Contains(uint32_t threadId) const { return index_.count(threadId) != 0; }
    [[nodiscard]] std::optional<uint32_t> SlotOf(uint32_t threadId) const
    {
        const auto it = index_.find(threadId);
        return it == index_.end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
    // Thread pointers stay valid until the next thread is added or removed.
    SimThread* Find(uint32_t threadId)
    {
        const auto it = index_.find(threadId);
        return it == index_.end() ? nullptr : &threads_[it->second];
    }
    [[nodiscard]] const SimThread* Find(uint32_t threadId) const
    {
        const auto it = index_.find(threadId);
        return it == index_.end() ? nullptr : &threads_[it->second];
    }
    SimThreadDetails* FindDetails(uint32_t threadId)
    {
        const auto it = index_.find(threadId);
        return it == index_.end() ? nullptr : &details_[it->second];
    }

    [[nodiscard]] const SimThread& At(uint32_t slot) const { return threads_[slot]; }
    SimThread& At(uint32_t slot) { return threads_[slot]; }
    [[nodiscard]] const SimThreadDetails& DetailsAt(uint32_t slot) const { return details_[slot]; }
    // The details of a thread of this store.
    [[nodiscard]] const SimThreadDetails& DetailsOf(const SimThread& thread) const
    {
        return details_[static_cast<size_t>(&thread - threads_.data())];
    }
    [[nodiscard]] const SimThread* data() const { return threads_.data(); }
    [[nodiscard]] size_t size() const { return index_.size(); }  // threads, not slots

    // Slots of the threads with a load, ascending: the ones time is charged to.
    [[nodiscard]] const std::vector<uint32_t>& busySlots() const { return busySlots_; }
    // Sets the load of the thread in slot (hundredths of a percent); a thread with a load is busy.
    void SetLoad(uint32_t slot, uint32_t load);

private:
    void MarkBusy(uint32_t slot, bool busy);

    std::vector<SimThread> threads_;
    std::vector<SimThreadDetails> details_;  // slot by slot with threads_
    std::vector<uint32_t> busySlots_;
    std::vector<uint32_t> freeSlots_;
    std::unordered_map<uint32_t, uint32_t> index_;  // thread id -> slot
};

}  // namespace kestrun::platform::sim
