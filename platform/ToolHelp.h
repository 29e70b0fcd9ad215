// Tool help: snapshots of processes, threads, modules and heaps, and the
// per-process and per-thread operations the pages call.
#pragma once

#include "platform/Types.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform {

enum SnapshotFlags : uint32_t {
    kSnapHeapList = 0x00000001,
    kSnapProcess = 0x00000002,
    kSnapThread = 0x00000004,
    kSnapModule = 0x00000008,
    kSnapNoHeaps = 0x40000000,
};

struct ProcessEntry {
    uint32_t processId = 0;
    uint32_t threadCount = 0;
    uint32_t parentProcessId = 0;
    uint64_t memoryBase = 0;  // load address of the executable
    uint32_t accessKey = 0;   // Linux: effective uid of the process
    std::wstring exeFile;     // executable file name without folder
    bool systemProcess = false;  // the platform counts it among its system processes (Linux: PID 1, kernel threads)
    // When the process started, in the platform's own units (0 where the platform
    // cannot tell): with the id, the process's identity, so a reused id is another process.
    uint64_t startTime = 0;
    // Changes when the process replaces its program under the same id (a Linux
    // exec): its name, folder and load address are then another program's.
    uint32_t image = 0;
};

struct ThreadEntry {
    uint32_t threadId = 0;
    uint32_t ownerProcessId = 0;
    int32_t basePriority = 0;   // level 0..7
    int32_t deltaPriority = 0;
    uint32_t usageCount = 0;
    uint32_t accessKey = 0;
    uint32_t currentProcessId = 0;  // process the thread runs in now
    bool operator==(const ThreadEntry&) const = default;
};

enum ModuleFlags : uint32_t {
    kModuleInRom = 0x1,
};

struct ModuleEntry {
    uint32_t moduleId = 0;
    uint32_t processId = 0;     // 0 in a system-wide snapshot
    uint32_t globalUsage = 0;   // processes using the module
    uint32_t processUsage = 0;  // references within processId
    uint64_t baseAddress = 0;
    uint64_t baseSize = 0;
    uint32_t flags = 0;         // ModuleFlags
    std::wstring moduleName;    // file name
    std::wstring exePath;       // full path
};

struct HeapListEntry {
    uint32_t processId = 0;
    uint64_t heapId = 0;
    uint32_t flags = 0;
};

enum HeapEntryFlags : uint32_t {
    kHeapFixed = 0x1,
    kHeapFree = 0x2,
    kHeapMoveable = 0x4,
    kHeapDecommit = 0x8,
    kHeapBig = 0x10,
};

struct HeapEntry {
    uint64_t address = 0;
    uint64_t blockSize = 0;
    uint32_t flags = 0;  // HeapEntryFlags
    uint32_t lockCount = 0;
    uint32_t processId = 0;
    uint64_t heapId = 0;
};

// A snapshot holds what its flags asked for; closing it may fail.
struct Snapshot {
    uint32_t flags = 0;
    uint32_t processId = 0;
    std::vector<ProcessEntry> processes;
    std::vector<ThreadEntry> threads;
    std::vector<ModuleEntry> modules;
    std::vector<HeapListEntry> heapLists;
};

struct ThreadTimes {
    FileTime creation;
    FileTime exit;
    FileTime kernel;
    FileTime user;
};

// CPU time of a process (kernel plus user, 100 ns units) and its primary thread,
// the one with the earliest creation time (0 when none was found).
struct ProcessCpu {
    uint64_t cpuTime = 0;
    uint32_t primaryThread = 0;
};

// Bytes and count of all heap entries of one process (free entries included).
// Linux: the bytes are the private anonymous memory in use (resident plus
// swapped), the blocks the private anonymous regions.
struct HeapTotals {
    uint64_t bytes = 0;
    uint32_t blocks = 0;
};

// An opened process. Linux: a pidfd, so a reused PID is never hit.
class ProcessHandle {
public:
    virtual ~ProcessHandle() = default;
    [[nodiscard]] virtual uint32_t ProcessId() const = 0;
    // Ends the process; exitCode is reported by convention where the system cannot impose it.
    virtual bool Terminate(int exitCode) = 0;
    // Full path of the process's executable module.
    [[nodiscard]] virtual std::optional<std::wstring> ModuleFileName() = 0;
};

class ToolHelp {
public:
    virtual ~ToolHelp() = default;

    // processId 0 means all processes (or the system, for modules).
    virtual std::optional<Snapshot> CreateSnapshot(uint32_t flags, uint32_t processId) = 0;
    // Closes a snapshot: its lists are empty afterwards (a backend may keep
    // their storage for its next snapshot). False leaves the snapshot as it was.
    virtual bool CloseSnapshot(Snapshot& snapshot) = 0;
    virtual std::optional<std::vector<HeapEntry>> HeapEntries(uint32_t processId, uint64_t heapId) = 0;

    virtual bool GetThreadTimes(uint32_t threadId, ThreadTimes& times) = 0;
    // Thread priority level 0..7; kThreadPriorityError on failure.
    virtual int GetThreadPriority(uint32_t threadId) = 0;
    virtual bool SetThreadPriority(uint32_t threadId, int level) = 0;

    // Empty on failure (last error set).
    virtual std::unique_ptr<ProcessHandle> OpenProcess(uint32_t processId) = 0;

    // The process-permission mask: all ones grants walks of every process.
    // Returns the previous mask.
    virtual uint32_t SetProcPermissions(uint32_t mask) = 0;

    // The thread walk of one process over a snapshot that holds threads: the sum of
    // every thread's kernel and user time; a thread whose times cannot be read ends
    // the walk. Backends with a cheaper per-process source override it.
    virtual ProcessCpu SumThreadTimes(const Snapshot& snapshot, uint32_t processId);
    // The heap walk of one process; nullopt when its heap list cannot be snapshotted.
    virtual std::optional<HeapTotals> SumHeap(uint32_t processId);
    // True when SumThreadTimes and SumHeap answer from what the latest process
    // snapshot read, so a caller that needs only the sums need not ask for threads.
    [[nodiscard]] virtual bool HasCheapProcessSums() const { return false; }
    // The step in which thread and process CPU times advance, in milliseconds;
    // 0 when they are exact to the 100 ns unit.
    [[nodiscard]] virtual uint32_t CpuTimeResolutionMs() const { return 0; }
};

// Grants all-process access for its lifetime and restores the previous mask.
class AllProcessAccess {
public:
    explicit AllProcessAccess(ToolHelp& toolHelp) : toolHelp_(toolHelp), previous_(toolHelp.SetProcPermissions(0xFFFFFFFFu)) {}
    ~AllProcessAccess() { toolHelp_.SetProcPermissions(previous_); }
    AllProcessAccess(const AllProcessAccess&) = delete;
    AllProcessAccess& operator=(const AllProcessAccess&) = delete;

private:
    ToolHelp& toolHelp_;
    uint32_t previous_;
};

}  // namespace kestrun::platform
