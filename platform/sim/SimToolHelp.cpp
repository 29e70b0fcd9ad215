// Tool help on the simulated device: snapshots, thread times and priorities,
// process handles, and the all-process access scope.
#include "platform/LastError.h"
#include "platform/sim/SimBackend.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>

namespace kestrun::platform::sim {

namespace {

class SimProcessHandle final : public ProcessHandle {
public:
    SimProcessHandle(SimDevice& device, uint32_t processId, uint64_t serial)
        : device_(device), processId_(processId), serial_(serial) {}

    uint32_t ProcessId() const override { return processId_; }

    bool Terminate(int exitCode) override
    {
        if (device_.Fails(SimCall::Terminate)) return false;
        const SimProcess* process = Live();
        if (process == nullptr) return Fail(ESRCH);
        if (!process->terminable) return Fail(EPERM);
        return device_.EndProcess(processId_, exitCode);
    }

    std::optional<std::wstring> ModuleFileName() override
    {
        if (device_.Fails(SimCall::ModuleFileName)) return std::nullopt;
        const SimProcess* process = Live();
        if (process == nullptr) { Fail(ESRCH); return std::nullopt; }
        return process->path;
    }

private:
    // The process this handle was opened on; a later process with the same id is another one.
    const SimProcess* Live() const
    {
        const SimProcess* process = device_.FindProcess(processId_);
        return process != nullptr && process->serial == serial_ ? process : nullptr;
    }

    SimDevice& device_;
    uint32_t processId_;
    uint64_t serial_;
};

class SimToolHelp final : public ToolHelp {
public:
    explicit SimToolHelp(SimDevice& device) : device_(device) {}

    std::optional<Snapshot> CreateSnapshot(uint32_t flags, uint32_t processId) override;

    bool CloseSnapshot(Snapshot& snapshot) override
    {
        if (device_.Fails(SimCall::CloseSnapshot)) return false;
        if (!snapshot.threads.empty() && snapshot.threads.data() == runs_.data) runs_.Forget();
        // A closed snapshot is empty; its lists' storage (names included) serves the next one.
        spare_.processes = std::move(snapshot.processes);
        spare_.threads = std::move(snapshot.threads);
        snapshot = Snapshot{snapshot.flags, snapshot.processId, {}, {}, {}, {}};
        return true;
    }

    std::optional<std::vector<HeapEntry>> HeapEntries(uint32_t processId, uint64_t heapId) override
    {
        if (device_.Fails(SimCall::HeapEntries)) return std::nullopt;
        const SimProcess* process = device_.FindProcess(processId);
        if (process == nullptr) { Fail(ESRCH); return std::nullopt; }
        if (!device_.CanWalk(processId)) { Fail(EACCES); return std::nullopt; }
        for (const SimHeap& heap : process->heaps)
            if (heap.id == heapId) return heap.entries;
        Fail(ENOENT);
        return std::nullopt;
    }

    bool GetThreadTimes(uint32_t threadId, ThreadTimes& times) override
    {
        device_.Sync();
        if (device_.Fails(SimCall::ThreadTimes)) return false;
        return ReadTimes(device_.FindThread(threadId), times);
    }

    int GetThreadPriority(uint32_t threadId) override
    {
        if (device_.Fails(SimCall::GetThreadPriority)) return kThreadPriorityError;
        const SimThread* thread = device_.FindThread(threadId);
        if (thread == nullptr) { Fail(ESRCH); return kThreadPriorityError; }
        if (!device_.CanWalk(thread->ownerId)) { Fail(EACCES); return kThreadPriorityError; }
        return device_.DetailsOf(*thread).basePriority;
    }

    bool SetThreadPriority(uint32_t threadId, int level) override
    {
        if (device_.Fails(SimCall::SetThreadPriority)) return false;
        if (level < kThreadPriorityTimeCritical || level > kThreadPriorityIdle) return Fail(EINVAL);
        const SimThread* thread = device_.FindThread(threadId);
        if (thread == nullptr) return Fail(ESRCH);
        if (!device_.CanWalk(thread->ownerId)) return Fail(EACCES);
        device_.FindThreadDetails(threadId)->basePriority = level;
        return true;
    }

    std::unique_ptr<ProcessHandle> OpenProcess(uint32_t processId) override
    {
        if (device_.Fails(SimCall::OpenProcess)) return nullptr;
        const SimProcess* process = device_.FindProcess(processId);
        if (process == nullptr) { Fail(ESRCH); return nullptr; }
        return std::make_unique<SimProcessHandle>(device_, processId, process->serial);
    }

    uint32_t SetProcPermissions(uint32_t mask) override { return device_.SetPermissions(mask); }

    ProcessCpu SumThreadTimes(const Snapshot& snapshot, uint32_t processId) override;
    std::optional<HeapTotals> SumHeap(uint32_t processId) override;

private:
    std::vector<ModuleEntry> Modules(uint32_t processId) const;
    // The rest of GetThreadTimes once the thread is found (null: no such thread).
    bool ReadTimes(const SimThread* thread, ThreadTimes& times) const
    {
        if (thread == nullptr) return Fail(ESRCH);
        if (!device_.CanWalk(thread->ownerId)) return Fail(EACCES);
        times.creation = FileTime::FromValue(thread->creation);
        times.exit = {};
        times.kernel = FileTime::FromValue(thread->kernelTime);
        times.user = FileTime::FromValue(thread->userTime);
        return true;
    }
    SimDevice& device_;
    Snapshot spare_;  // the lists of the last snapshot closed, for the next one to fill
    // Where each process's threads lie in the latest thread snapshot this backend
    // made: one run per process, in the order of its process list. Callers sum the
    // processes in that order, so the next run is usually the one asked for; any
    // other is found through byOwner, built on the first such miss.
    struct ThreadRuns {
        const ThreadEntry* data = nullptr;
        size_t size = 0;
        struct Run {
            uint32_t owner = 0;
            uint32_t first = 0;
            uint32_t count = 0;
        };
        std::vector<Run> runs;
        size_t next = 0;
        std::unordered_map<uint32_t, size_t> byOwner;  // owner -> run, empty until needed
        // Forgets the list but keeps the storage for the next one.
        void Forget()
        {
            data = nullptr;
            size = 0;
            runs.clear();
            next = 0;
            if (!byOwner.empty()) byOwner.clear();
        }
    } runs_;
};

std::optional<Snapshot> SimToolHelp::CreateSnapshot(uint32_t flags, uint32_t processId)
{
    device_.Sync();
    const bool wantProcesses = (flags & kSnapProcess) != 0;
    const bool wantThreads = (flags & kSnapThread) != 0;
    const bool wantModules = (flags & kSnapModule) != 0;
    const bool wantHeaps = (flags & kSnapHeapList) != 0;
    if (!wantProcesses && !wantThreads && !wantModules && !wantHeaps) { Fail(EINVAL); return std::nullopt; }
    if (device_.Fails(SimCall::CreateSnapshot)) return std::nullopt;
    if (wantProcesses && device_.Fails(SimCall::ProcessSnapshot)) return std::nullopt;
    if (wantThreads && !wantProcesses && device_.Fails(SimCall::ThreadSnapshot)) return std::nullopt;
    if (wantModules && device_.Fails(SimCall::ModuleSnapshot)) return std::nullopt;
    if (wantHeaps && device_.Fails(SimCall::HeapListSnapshot)) return std::nullopt;

    // Modules and heaps of another process need all-process access; so do the
    // heaps of every process (process id 0). The system's module list does not.
    if ((wantModules || wantHeaps) && processId != 0) {
        if (device_.FindProcess(processId) == nullptr) { Fail(ESRCH); return std::nullopt; }
        if (!device_.CanWalk(processId)) { Fail(EACCES); return std::nullopt; }
    }
    if (wantHeaps && processId == 0 && device_.permissions() != 0xFFFFFFFFu) { Fail(EACCES); return std::nullopt; }

    Snapshot snapshot;
    snapshot.flags = flags;
    snapshot.processId = processId;
    const std::vector<SimProcess>& processes = device_.processes();
    if (wantProcesses) {
        // Filled in place, so names reuse the storage of the last snapshot closed.
        snapshot.processes = std::move(spare_.processes);
        snapshot.processes.resize(processes.size());
        for (size_t i = 0; i < processes.size(); ++i) {
            const SimProcess& p = processes[i];
            ProcessEntry& entry = snapshot.processes[i];
            entry.processId = p.id;
            entry.threadCount = static_cast<uint32_t>(p.threads.size());
            entry.parentProcessId = p.parentId;
            entry.memoryBase = p.memoryBase;
            entry.accessKey = p.accessKey;
            if (p.shortNameLength != 0) {
                entry.exeFile.resize(p.shortNameLength);  // in place: the storage is already there
                std::copy_n(p.shortName.begin(), p.shortNameLength, entry.exeFile.begin());
            } else {
                entry.exeFile.assign(p.exeName);
            }
            entry.systemProcess = false;
        }
    }
    if (wantThreads) {
        // Filled over the last closed snapshot's entries; an entry that is the same
        // as before is left alone, so unchanged threads cost a read and no write.
        std::vector<ThreadEntry>& threads = snapshot.threads;
        threads = std::move(spare_.threads);
        const size_t reused = threads.size();
        threads.reserve(device_.ThreadCount());
        size_t count = 0;
        runs_.Forget();  // a new thread list: earlier positions mean nothing now
        runs_.runs.reserve(processes.size());
        for (const SimProcess& p : processes) {
            const auto first = static_cast<uint32_t>(count);
            auto add = [&threads, &count, reused, this](const SimThread& t) {
                const SimThreadDetails& d = device_.DetailsOf(t);
                const ThreadEntry entry{t.id, t.ownerId, d.basePriority, d.deltaPriority, d.usageCount, d.accessKey, d.currentProcessId};
                if (count >= reused) threads.push_back(entry);
                else if (threads[count] != entry) threads[count] = entry;
                ++count;
            };
            if (const std::span<const SimThread> side = device_.ContiguousThreads(p); !side.empty()) {
                for (const SimThread& t : side) add(t);
            } else {
                for (size_t k = 0; k < p.threads.size(); ++k)
                    if (const SimThread* t = device_.ThreadOf(p, k, p.threads[k])) add(*t);
            }
            if (count > first) runs_.runs.push_back({p.id, first, static_cast<uint32_t>(count) - first});
        }
        threads.resize(count);
    }
    if (wantModules) snapshot.modules = Modules(processId);
    if (wantHeaps) {
        auto add = [&snapshot](const SimProcess& p) {
            for (const SimHeap& heap : p.heaps) snapshot.heapLists.push_back(HeapListEntry{p.id, heap.id, heap.flags});
        };
        if (processId != 0) add(*device_.FindProcess(processId));  // checked above
        else for (const SimProcess& p : processes) add(p);
    }

    // A walk whose first record is missing: an injected failure empties the list
    // with its error; a list that is empty anyway reports "no such entry".
    auto first = [this](bool wanted, SimCall call, auto& list) {
        if (!wanted) return;
        if (device_.Fails(call)) list.clear();
        else if (list.empty()) Fail(ENOENT);
    };
    first(wantProcesses, SimCall::FirstProcess, snapshot.processes);
    first(wantThreads, SimCall::FirstThread, snapshot.threads);
    first(wantModules, SimCall::FirstModule, snapshot.modules);
    first(wantHeaps, SimCall::FirstHeapList, snapshot.heapLists);
    if (wantThreads) {
        if (snapshot.threads.empty()) runs_.Forget();
        runs_.data = snapshot.threads.data();  // moving the snapshot out keeps its buffer
        runs_.size = snapshot.threads.size();
    }
    return snapshot;
}

std::vector<ModuleEntry> SimToolHelp::Modules(uint32_t processId) const
{
    std::vector<ModuleEntry> entries;
    auto entry = [](const SimModule& m, uint32_t owner, uint32_t usage) {
        return ModuleEntry{m.id, owner, m.processCount, usage, m.baseAddress, m.size,
                           m.inRom ? uint32_t{kModuleInRom} : 0u, m.name, m.path};
    };
    if (processId != 0) {
        const SimProcess* process = device_.FindProcess(processId);
        if (process == nullptr) return entries;
        for (const SimModuleRef& ref : process->modules)
            if (const SimModule* m = device_.FindModule(ref.moduleId)) entries.push_back(entry(*m, processId, ref.usage));
        return entries;
    }
    // System-wide: every module once; its usage is the sum of all processes' uses.
    std::unordered_map<uint32_t, uint32_t> uses;
    for (const SimProcess& p : device_.processes())
        for (const SimModuleRef& ref : p.modules) uses[ref.moduleId] += ref.usage;
    for (const SimModule& m : device_.modules()) entries.push_back(entry(m, 0, uses[m.id]));
    return entries;
}

ProcessCpu SimToolHelp::SumThreadTimes(const Snapshot& snapshot, uint32_t processId)
{
    // A thread list this backend did not make (or has closed): the generic walk.
    if (snapshot.threads.empty() || snapshot.threads.data() != runs_.data || snapshot.threads.size() != runs_.size)
        return ToolHelp::SumThreadTimes(snapshot, processId);
    size_t r = runs_.next;
    if (r >= runs_.runs.size() || runs_.runs[r].owner != processId) {
        if (runs_.byOwner.empty()) {
            runs_.byOwner.reserve(runs_.runs.size());
            for (size_t i = 0; i < runs_.runs.size(); ++i) runs_.byOwner.emplace(runs_.runs[i].owner, i);
        }
        const auto found = runs_.byOwner.find(processId);
        if (found == runs_.byOwner.end()) return {};
        r = found->second;
    }
    runs_.next = r + 1;
    const ThreadRuns::Run run = runs_.runs[r];

    // The same walk as the generic one, over this process's threads only; each
    // step is GetThreadTimes with the thread found through its process's own list.
    ProcessCpu result;
    FileTime earliest = FileTime::FromValue(~uint64_t{0});
    const SimProcess* process = device_.FindProcess(processId);
    for (uint32_t k = 0; k < run.count; ++k) {
        const ThreadEntry& thread = snapshot.threads[run.first + k];
        ThreadTimes times;
        device_.Sync();
        if (device_.Fails(SimCall::ThreadTimes)) break;
        const SimThread* live = process != nullptr ? device_.ThreadOf(*process, k, thread.threadId) : device_.FindThread(thread.threadId);
        if (!ReadTimes(live, times)) break;
        result.cpuTime += times.kernel.Value() + times.user.Value();
        if (CompareFileTime(earliest, times.creation) > 0) {
            earliest = times.creation;
            result.primaryThread = thread.threadId;
        }
    }
    return result;
}

// The generic heap walk (a heap-list snapshot of the process, its walk, the
// entries of each heap, the close) with the same calls, checks and failures in
// the same order, without building the snapshot or copying entries.
std::optional<HeapTotals> SimToolHelp::SumHeap(uint32_t processId)
{
    if (processId == 0) return ToolHelp::SumHeap(processId);  // every process's heaps: the plain walk
    device_.Sync();
    if (device_.Fails(SimCall::CreateSnapshot)) return std::nullopt;
    if (device_.Fails(SimCall::HeapListSnapshot)) return std::nullopt;
    const SimProcess* process = device_.FindProcess(processId);
    if (process == nullptr) { Fail(ESRCH); return std::nullopt; }
    if (!device_.CanWalk(processId)) { Fail(EACCES); return std::nullopt; }
    HeapTotals totals;
    const bool walked = !device_.Fails(SimCall::FirstHeapList);  // a failed first record: an empty list
    if (walked && process->heaps.empty()) Fail(ENOENT);
    if (walked && !device_.FailureArmed(SimCall::HeapEntries)) {
        totals.bytes = process->heapBytes;  // every heap's entries read: the process's totals
        totals.blocks = process->heapBlocks;
    } else if (walked) {
        for (const SimHeap& heap : process->heaps) {
            // HeapEntries(processId, heap.id): the process and its heap are still there.
            if (device_.Fails(SimCall::HeapEntries)) continue;
            totals.bytes += heap.bytes;
            totals.blocks += static_cast<uint32_t>(heap.entries.size());
        }
    }
    device_.Fails(SimCall::CloseSnapshot);  // its result does not change the sums
    return totals;
}

}  // namespace

std::unique_ptr<ToolHelp> CreateSimToolHelp(SimDevice& device) { return std::make_unique<SimToolHelp>(device); }

}  // namespace kestrun::platform::sim
