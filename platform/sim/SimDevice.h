// The simulated device: processes, threads, heaps, modules, windows, services,
// stream devices, network interfaces, files and a virtual clock, with the
// platform's rules (the all-process access scope, failure codes). The sim
// services read and change it; tests drive it through this API.
#pragma once

#include "platform/Desktop.h"
#include "platform/Devices.h"
#include "platform/Interfaces.h"
#include "platform/Kernel.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/ToolHelp.h"
#include "platform/sim/SimFailures.h"
#include "platform/sim/SimHive.h"
#include "platform/sim/SimProfile.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::sim {

// A thread as a walk over threads reads it: id, owner and times, 32 bytes.
struct SimThread {
    uint32_t id = 0;
    uint32_t ownerId = 0;
    uint64_t creation = 0;  // file time
    uint64_t kernelTime = 0;  // 100 ns units
    uint64_t userTime = 0;
};

// The rest of a thread, kept apart so that walks over thread times read half as much.
struct SimThreadDetails {
    uint32_t currentProcessId = 0;  // the process it runs in now
    int32_t basePriority = kThreadPriorityNormal;
    int32_t deltaPriority = 0;
    uint32_t usageCount = 1;
    uint32_t accessKey = 0;
    uint32_t load = 0;         // hundredths of a percent of the processor
    uint32_t kernelShare = 50; // percent of charged time that is kernel time
};

struct SimHeap {
    uint64_t id = 0;
    uint32_t flags = 0;
    std::vector<HeapEntry> entries;  // change through the device, which keeps bytes in step
    uint64_t bytes = 0;              // sum of the entries' block sizes
};

struct SimModuleRef {
    uint32_t moduleId = 0;
    uint32_t usage = 1;
};

// What a refresh reads of every process (ids, thread placement, heap totals,
// name) comes first, within two cache lines.
struct SimProcess {
    uint32_t id = 0;
    uint32_t parentId = 0;
    uint32_t accessKey = 0;
    uint32_t firstThreadSlot = 0;        // with contiguousThreads: threads[k] lives at firstThreadSlot + k
    bool contiguousThreads = true;
    uint32_t heapBlocks = 0;
    uint64_t heapBytes = 0;   // over all heaps, kept by the device with the entries
    uint64_t memoryBase = 0;
    std::vector<uint32_t> threads;  // owned threads, in creation order
    // The executable's name when it is 1 to 23 ASCII characters, beside the
    // fields above, so that a snapshot need not read the name's own block.
    std::array<char, 23> shortName{};
    uint8_t shortNameLength = 0;
    std::wstring exeName;  // set by AddProcess, which keeps shortName in step
    std::vector<uint32_t> threadSlots;  // where each of those lives in the device's thread store
    std::wstring path;
    bool terminable = true;
    uint64_t serial = 0;  // distinguishes a reused id
    std::vector<SimHeap> heaps;
    std::vector<SimModuleRef> modules;
    uint32_t churnBlocks = 0;  // real clock only: blocks the demo's allocation churn added
};

struct SimModule {
    uint32_t id = 0;
    std::wstring name;
    std::wstring path;
    uint64_t baseAddress = 0;
    uint64_t size = 0;
    bool inRom = false;
    uint32_t processCount = 0;  // processes that have it loaded
};

struct SimWindow {
    WindowId id = 0;
    uint32_t processId = 0;
    std::wstring title;
    WindowId owner = 0;
    WindowId parent = 0;
    bool visible = true;
    bool minimized = false;
    bool respondsToClose = true;
    uint32_t closeAfterPolls = 0;
    uint32_t pollsUntilClosed = 0;  // after a close request to a window that takes its time: looks left
    bool closeEndsProcess = true;
    std::optional<uint32_t> iconColor;
    uint32_t closeRequests = 0;
};

struct SimService {
    ServiceEntry entry;
    std::wstring keyName;
};

struct SimStreamDevice {
    DeviceInfo info;
    std::wstring activeKey;  // Drivers\Active\NN
    int power = 0;           // -1: queries fail
    bool deactivatable = true;
};

struct SimInterface {
    InterfaceRow row;
    std::wstring adapterName;
    uint64_t inRate = 0;  // bytes per second (real clock only)
    uint64_t outRate = 0;
    uint64_t inCarry = 0;  // byte-milliseconds not yet counted
    uint64_t outCarry = 0;
};

struct SimFile {
    FileInfo info;
    std::optional<VersionInfo> version;
    std::optional<uint32_t> iconColor;  // the icon the shell shows for it; unset: none
};

class SimDevice {
public:
    explicit SimDevice(const SimProfile& profile);
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // ---- Clock ---------------------------------------------------------------
    [[nodiscard]] ClockMode clockMode() const { return clockMode_; }
    void SetClockMode(ClockMode mode);
    // The tick count (milliseconds, wraps modulo 2^32). In real mode it first catches up with real time.
    uint32_t Tick();
    // Moves the tick without charging anyone (e.g. near the wrap).
    void SetTick(uint32_t tick);
    // Manual clock: moves time forward and charges every thread its load share of
    // the elapsed time (one processor: loads above 100 % in total are scaled down).
    void AdvanceTime(uint32_t milliseconds);
    [[nodiscard]] uint64_t UptimeMs() const { return uptimeMs_; }
    [[nodiscard]] uint64_t BootTime() const { return bootTime_; }
    // Real clock: charges time that has passed since the last look.
    void Sync();

    // ---- The all-process access scope ---------------------------------------
    [[nodiscard]] uint32_t permissions() const { return permissions_; }
    uint32_t SetPermissions(uint32_t mask);  // returns the previous mask
    // Another process's threads, heaps and modules can be walked only with all bits set.
    [[nodiscard]] bool CanWalk(uint32_t processId) const;
    [[nodiscard]] uint32_t OwnProcessId() const { return ownProcessId_; }

    // ---- Processes and threads ----------------------------------------------
    // Adds a process with its threads, heaps, modules and windows; returns its id (0: the id is taken).
    uint32_t AddProcess(const ProcessSpec& spec);
    // Ends a process: its threads, heaps, module uses and windows go; the exit code is recorded.
    bool EndProcess(uint32_t processId, int exitCode);
    [[nodiscard]] const std::vector<SimProcess>& processes() const { return processes_; }
    SimProcess* FindProcess(uint32_t processId);
    [[nodiscard]] const SimProcess* FindProcess(uint32_t processId) const;
    // First process with this executable name (case-insensitive); 0 when none.
    [[nodiscard]] uint32_t ProcessIdByName(const std::wstring& exeName) const;
    [[nodiscard]] std::optional<int> ExitCode(uint32_t processId) const;

    uint32_t AddThread(uint32_t processId, const ThreadSpec& spec);  // 0 when the process is unknown or the id taken
    bool RemoveThread(uint32_t threadId);
    // Thread pointers stay valid until the next thread is added or removed.
    SimThread* FindThread(uint32_t threadId);
    [[nodiscard]] const SimThread* FindThread(uint32_t threadId) const;
    SimThreadDetails* FindThreadDetails(uint32_t threadId);
    // The details of a thread this device found.
    [[nodiscard]] const SimThreadDetails& DetailsOf(const SimThread& thread) const
    {
        return threadDetails_[static_cast<size_t>(&thread - threadStore_.data())];
    }
    // The process's k-th thread when it is still threadId (no hash look-up), else FindThread.
    [[nodiscard]] const SimThread* ThreadOf(const SimProcess& process, size_t k, uint32_t threadId) const;
    // The process's threads in order when they lie side by side in the store (the
    // usual case: added together, none removed); empty otherwise.
    [[nodiscard]] std::span<const SimThread> ContiguousThreads(const SimProcess& process) const;
    [[nodiscard]] size_t ThreadCount() const { return threadSlot_.size(); }
    bool SetThreadTimes(uint32_t threadId, uint64_t kernel, uint64_t user);
    bool SetThreadLoad(uint32_t threadId, uint32_t load);
    bool SetThreadRunsIn(uint32_t threadId, uint32_t processId);

    // ---- Heaps ----------------------------------------------------------------
    uint64_t AddHeap(uint32_t processId, uint32_t flags);  // returns the heap id; 0 when the process is unknown
    bool AddHeapBlock(uint32_t processId, uint64_t heapId, const HeapBlockSpec& block);
    bool RemoveHeapBlock(uint32_t processId, uint64_t heapId, uint64_t address);

    // ---- Modules --------------------------------------------------------------
    uint32_t AddModule(const ModuleSpec& spec);  // returns the module id (0: the id is taken)
    [[nodiscard]] const std::vector<SimModule>& modules() const { return modules_; }
    [[nodiscard]] const SimModule* FindModule(uint32_t moduleId) const;
    [[nodiscard]] uint32_t ModuleIdByName(const std::wstring& name) const;
    bool LoadModule(uint32_t processId, uint32_t moduleId, uint32_t usage = 1);
    bool UnloadModule(uint32_t processId, uint32_t moduleId);

    // ---- Windows (topmost first) ---------------------------------------------
    WindowId AddWindow(uint32_t processId, const WindowSpec& spec);
    bool RemoveWindow(WindowId window);
    [[nodiscard]] const std::vector<SimWindow>& windows() const { return windows_; }
    SimWindow* FindWindow(WindowId window);
    bool SetWindowTitle(WindowId window, const std::wstring& title);
    [[nodiscard]] WindowId foreground() const { return foreground_; }
    bool BringToFront(WindowId window);
    // A polite close: a responding window goes (ending its process when it was the
    // last window and closeEndsProcess), at once or at the closeAfterPolls-th
    // look (PollWindow); one that does not respond stays.
    bool RequestClose(WindowId window);
    // Whether the window still exists, counting the look against a pending close.
    bool PollWindow(WindowId window);
    // The program's own window: the first of its own process.
    [[nodiscard]] WindowId OwnWindow() const;

    // ---- Services, devices, interfaces, files, memory --------------------------
    std::vector<SimService>& services() { return services_; }
    SimService* FindService(const std::wstring& prefix);
    void AddService(const ServiceSpec& spec);
    // The service goes from the service host; its registry key stays. False when there is none of that prefix.
    bool RemoveService(const std::wstring& prefix);
    std::vector<SimStreamDevice>& devices() { return devices_; }
    SimStreamDevice* FindDevice(const std::wstring& legacyName);
    void AddDevice(const DeviceSpec& spec);
    bool SetDevicePower(const std::wstring& legacyName, int power);
    std::vector<SimInterface>& interfaces() { return interfaces_; }
    SimInterface* FindInterface(uint32_t index);
    void AddInterface(const InterfaceSpec& spec);
    // Moves an interface's counters: bytes and unicast packets in and out.
    bool AddTraffic(uint32_t index, uint64_t inBytes, uint64_t outBytes, uint64_t inPackets = 0, uint64_t outPackets = 0);
    void AddFile(const std::wstring& path, const FileInfo& info, std::optional<VersionInfo> version = std::nullopt);
    [[nodiscard]] const SimFile* FindFile(const std::wstring& path) const;
    bool SetFileIcon(const std::wstring& path, std::optional<uint32_t> color);
    [[nodiscard]] MemoryStatus memoryStatus() const { return memory_; }
    void SetMemoryStatus(const MemoryStatus& status) { memory_ = status; }

    // ---- Registry ------------------------------------------------------------------
    // The local machine hive lives in memory, seeded from the profile and by the
    // services, devices and interfaces added. Keys seeded under the current user
    // (such as Comm\AdapterNameMappings) live in memory too, so that they never
    // reach the user's store on disk; everything else of the current user is the store's.
    SimHive& localMachine() { return localMachine_; }
    SimHive& userOverlay() { return userOverlay_; }
    [[nodiscard]] const std::vector<std::wstring>& userOverlayRoots() const { return userOverlayRoots_; }
    void AddUserOverlayRoot(const std::wstring& key);
    void SeedRegistry(const RegistrySeed& seed);

    // ---- Failure injection ------------------------------------------------------
    // The next `count` calls (after `skip` successful ones) fail with error.
    void InjectFailure(SimCall call, uint32_t error, int count = 1, int skip = 0) { failures_.Inject(call, error, count, skip); }
    void ClearFailures() { failures_.Clear(); }
    // For the services: true (last error set) when this call is to fail.
    bool Fails(SimCall call) { return failures_.Consume(call); }
    [[nodiscard]] bool FailureArmed(SimCall call) const { return failures_.Armed(call); }

    // ---- What the program asked for -----------------------------------------------
    int rebootRequests = 0;
    std::optional<int> currentThreadPriority;  // last SetCurrentThreadPriority
    std::vector<std::pair<std::wstring, std::wstring>> helpRequests;  // file, anchor
    // Named instance locks (lower-case name -> holders); shared so that a lock may outlive the device.
    std::shared_ptr<std::map<std::wstring, int>> instanceLocks = std::make_shared<std::map<std::wstring, int>>();
    std::vector<std::pair<std::wstring, ServiceControl>> serviceControls;

private:
    uint32_t NewId(uint32_t low);
    void IndexProcesses();
    void Charge(uint64_t elapsedMs);
    void MarkBusy(uint32_t slot, bool busy);
    void Churn(uint64_t second);
    static uint64_t NextHeapAddress(const SimHeap& heap);

    ClockMode clockMode_ = ClockMode::Manual;
    uint64_t uptimeMs_ = 0;
    uint32_t tickOffset_ = 0;  // tick = uptime + offset (mod 2^32)
    uint64_t bootTime_ = 0;
    std::chrono::steady_clock::time_point realBase_;
    uint64_t realBaseUptime_ = 0;

    uint32_t permissions_ = 1;
    uint32_t ownProcessId_ = 0;

    std::vector<SimProcess> processes_;
    std::unordered_map<uint32_t, size_t> processIndex_;
    mutable size_t lastFound_ = 0;  // FindProcess's last answer: a hint, checked before use
    // Threads live in one contiguous store, a process's threads next to each other
    // as they were added; a removed thread's slot (id 0) is reused by the next one.
    std::vector<SimThread> threadStore_;
    std::vector<SimThreadDetails> threadDetails_;  // slot by slot with threadStore_
    std::vector<uint32_t> busySlots_;  // slots of the threads with a load, ascending: the ones time is charged to
    std::vector<uint32_t> freeThreadSlots_;
    std::unordered_map<uint32_t, uint32_t> threadSlot_;  // thread id -> slot
    std::vector<SimModule> modules_;
    std::unordered_map<uint32_t, size_t> moduleIndex_;
    std::unordered_map<std::wstring, uint32_t> moduleByName_;  // lower-case name
    std::unordered_map<uint32_t, int> exitCodes_;
    void CloseWindow(WindowId window);
    std::vector<SimWindow> windows_;
    mutable std::unordered_map<WindowId, size_t> windowIndex_;  // id -> place in windows_, rebuilt after a change of order
    mutable bool windowIndexStale_ = true;
    WindowId foreground_ = 0;
    WindowId nextWindow_ = 0x10010;
    std::vector<SimService> services_;
    std::vector<SimStreamDevice> devices_;
    std::vector<SimInterface> interfaces_;
    std::unordered_map<std::wstring, SimFile> files_;  // lower-case path
    MemoryStatus memory_;
    SimHive localMachine_;
    SimHive userOverlay_;
    std::vector<std::wstring> userOverlayRoots_;
    uint32_t nextActiveKey_ = 1;

    uint64_t idState_ = 0x5EED0F1CE;
    uint64_t nextSerial_ = 1;
    uint32_t nextSlot_ = 1;
    uint64_t nextHeapId_ = 0;
    uint64_t nextHandle_ = 0x4A000;
    SimFailures failures_;
};

}  // namespace kestrun::platform::sim
