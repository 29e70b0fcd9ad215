// Kernel services of the simulated device: the virtual clock, memory status,
// busy time, the program's own process, instance locks, priority and reboot requests.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <cerrno>

namespace kestrun::platform::sim {

namespace {

class SimInstanceLock final : public InstanceLock {
public:
    SimInstanceLock(std::shared_ptr<std::map<std::wstring, int>> locks, std::wstring name)
        : locks_(std::move(locks)), name_(std::move(name)) {}
    ~SimInstanceLock() override
    {
        auto it = locks_->find(name_);
        if (it != locks_->end() && --it->second <= 0) locks_->erase(it);
    }
    SimInstanceLock(const SimInstanceLock&) = delete;
    SimInstanceLock& operator=(const SimInstanceLock&) = delete;

private:
    std::shared_ptr<std::map<std::wstring, int>> locks_;
    std::wstring name_;
};

class SimKernel final : public Kernel {
public:
    explicit SimKernel(SimDevice& device) : device_(device) {}

    uint32_t GetTickCount() override { return device_.Tick(); }
    MemoryStatus GlobalMemoryStatus() override { return device_.memoryStatus(); }
    unsigned ProcessorCount() override { return device_.processorCount(); }

    // Exactly what a walk over all threads with GetThreadTimes gives: threads whose
    // times the access scope hides are skipped, ended processes' threads are gone.
    std::optional<uint64_t> TotalBusyTime() override
    {
        device_.Sync();
        if (device_.Fails(SimCall::TotalBusyTime)) return std::nullopt;
        uint64_t total = 0;
        for (const SimProcess& process : device_.processes()) {
            if (!device_.CanWalk(process.id)) continue;
            for (uint32_t threadId : process.threads)
                if (const SimThread* thread = device_.FindThread(threadId)) total += thread->kernelTime + thread->userTime;
        }
        return total;
    }

    std::optional<std::wstring> OwnModuleFileName() override
    {
        if (device_.Fails(SimCall::OwnModuleFileName)) return std::nullopt;
        const SimProcess* self = device_.FindProcess(device_.OwnProcessId());
        if (self == nullptr) { Fail(ESRCH); return std::nullopt; }
        return self->path;
    }

    uint32_t GetCurrentProcessId() override { return device_.OwnProcessId(); }

    InstanceLockResult CreateInstanceLock(const std::wstring& name) override
    {
        InstanceLockResult result;
        if (device_.Fails(SimCall::InstanceLock)) return result;
        const std::wstring key = Lower(name);
        int& holders = (*device_.instanceLocks)[key];
        result.alreadyExists = holders > 0;
        ++holders;
        result.lock = std::make_unique<SimInstanceLock>(device_.instanceLocks, key);
        return result;
    }

    bool SetCurrentThreadPriority(int level) override
    {
        if (device_.Fails(SimCall::SetCurrentThreadPriority)) return false;
        if (level < kThreadPriorityTimeCritical || level > kThreadPriorityIdle) return Fail(EINVAL);
        device_.currentThreadPriority = level;
        // The calling thread is the program's first thread on the device.
        if (const SimProcess* self = device_.FindProcess(device_.OwnProcessId()); self != nullptr && !self->threads.empty())
            if (SimThreadDetails* thread = device_.FindThreadDetails(self->threads.front())) thread->basePriority = level;
        return true;
    }

    // The request is recorded; the simulated device never goes down.
    bool Reboot() override
    {
        if (device_.Fails(SimCall::Reboot)) return false;
        ++device_.rebootRequests;
        return true;
    }

private:
    SimDevice& device_;
};

}  // namespace

std::unique_ptr<Kernel> CreateSimKernel(SimDevice& device) { return std::make_unique<SimKernel>(device); }

}  // namespace kestrun::platform::sim
