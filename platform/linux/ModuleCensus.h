// How many processes map each module, counted in one pass over every process's
// maps and kept for a short while, so that the module snapshots of one refresh
// (one per process in the Module usage dialog) share a single pass.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

class ModuleCensus {
public:
    // How long one pass stands for the snapshots that follow it.
    static constexpr std::chrono::milliseconds kValidity{1000};

    // The processes that map moduleId, counting again (below the /proc handle
    // root) when the last count is older than kValidity or processEpoch moved on
    // (a new process snapshot); at least 1, for the process that asks.
    uint32_t UsersOf(int root, uint64_t processEpoch, uint32_t moduleId);

private:
    void Count(int root);

    std::unordered_map<uint32_t, uint32_t> users_;
    std::chrono::steady_clock::time_point countedAt_{};
    uint64_t epoch_ = 0;
    bool counted_ = false;
    std::string maps_;  // reused read buffer
};

}  // namespace kestrun::platform::linux_backend
