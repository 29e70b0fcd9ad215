// The simulated device: processes, threads, heaps, modules, windows, services,
// stream devices, network interfaces, files and a virtual clock, with the
// platform's rules (the all-process access scope, failure codes). The sim
// services read and change it; tests drive it through this API.
#pragma once

#include "platform/Desktop.h"
#include "platform/Kernel.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimFailures.h"
#include "platform/sim/SimHive.h"
#include "platform/sim/SimModuleTable.h"
#include "platform/sim/SimProcessTable.h"
#include "platform/sim/SimProfile.h"
#include "platform/sim/SimRecords.h"
#include "platform/sim/SimThreadStore.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::sim {

class SimDevice {
public:
    explicit SimDevice(const SimProfile& profile);
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // ---- Clock ---------------------------------------------------------------
    [[nodiscard]] ClockMode clockMode() const { return clock_.mode(); }
    void SetClockMode(ClockMode mode);
    // The tick count (milliseconds, wraps modulo 2^32). In real mode it first catches up with real time.
    uint32_t Tick();
    // Moves the tick without charging anyone (e.g. near the wrap).
    void SetTick(uint32_t tick);
    // Manual clock: moves time forward and charges every thread its load share of
    // the elapsed time (loads above what the processors can run in total are scaled down).
    void AdvanceTime(uint32_t milliseconds);
    [[nodiscard]] unsigned processorCount() const { return processors_; }

    // ---- Timeline -------------------------------------------------------------
    // Refresh tick `tick` (1: the first) begins: the events of the profile's
    // timeline up to that tick happen, in order. Returns one line for each event
    // that could not be done ("dev.json: events[3] (tick 5, endProcess): ...").
    std::vector<std::string> BeginTick(uint32_t tick);
    [[nodiscard]] uint64_t UptimeMs() const { return clock_.uptimeMs(); }
    [[nodiscard]] uint64_t BootTime() const { return clock_.bootTime(); }
    // Real clock: charges time that has passed since the last look.
    void Sync()
    {
        if (const uint64_t elapsed = clock_.CatchUp(); elapsed != 0) Charge(elapsed);
    }

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
    [[nodiscard]] const std::vector<SimProcess>& processes() const { return processes_.all(); }
    SimProcess* FindProcess(uint32_t processId) { return processes_.Find(processId); }
    [[nodiscard]] const SimProcess* FindProcess(uint32_t processId) const { return processes_.Find(processId); }
    // First process with this executable name (case-insensitive); 0 when none.
    [[nodiscard]] uint32_t ProcessIdByName(const std::wstring& exeName) const { return processes_.IdByName(exeName); }
    [[nodiscard]] std::optional<int> ExitCode(uint32_t processId) const;

    uint32_t AddThread(uint32_t processId, const ThreadSpec& spec);  // 0 when the process is unknown or the id taken
    bool RemoveThread(uint32_t threadId);
    // Thread pointers stay valid until the next thread is added or removed.
    SimThread* FindThread(uint32_t threadId) { return threads_.Find(threadId); }
    [[nodiscard]] const SimThread* FindThread(uint32_t threadId) const { return threads_.Find(threadId); }
    SimThreadDetails* FindThreadDetails(uint32_t threadId) { return threads_.FindDetails(threadId); }
    // The details of a thread this device found.
    [[nodiscard]] const SimThreadDetails& DetailsOf(const SimThread& thread) const { return threads_.DetailsOf(thread); }
    // The process's k-th thread when it is still threadId (no hash look-up), else FindThread.
    [[nodiscard]] const SimThread* ThreadOf(const SimProcess& process, size_t k, uint32_t threadId) const;
    // The process's threads in order when they lie side by side in the store (the
    // usual case: added together, none removed); empty otherwise.
    [[nodiscard]] std::span<const SimThread> ContiguousThreads(const SimProcess& process) const;
    [[nodiscard]] size_t ThreadCount() const { return threads_.size(); }
    bool SetThreadTimes(uint32_t threadId, uint64_t kernel, uint64_t user);
    bool SetThreadLoad(uint32_t threadId, uint32_t load);
    bool SetThreadRunsIn(uint32_t threadId, uint32_t processId);

    // ---- Heaps ----------------------------------------------------------------
    uint64_t AddHeap(uint32_t processId, uint32_t flags);  // returns the heap id; 0 when the process is unknown
    bool AddHeapBlock(uint32_t processId, uint64_t heapId, const HeapBlockSpec& block);
    bool RemoveHeapBlock(uint32_t processId, uint64_t heapId, uint64_t address);

    // ---- Modules --------------------------------------------------------------
    uint32_t AddModule(const ModuleSpec& spec);  // returns the module id (0: the id is taken)
    [[nodiscard]] const std::vector<SimModule>& modules() const { return modules_.all(); }
    [[nodiscard]] const SimModule* FindModule(uint32_t moduleId) const { return modules_.Find(moduleId); }
    [[nodiscard]] uint32_t ModuleIdByName(const std::wstring& name) const { return modules_.IdByName(name); }
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
    // The device goes with its active key, as a deactivated one does; device is one of devices().
    void RemoveDevice(const SimStreamDevice& device);
    bool SetDevicePower(const std::wstring& legacyName, int power);
    // In index order. The counters are 32 bits wide, as the device keeps them, and wrap.
    std::vector<SimInterface>& interfaces() { return interfaces_; }
    SimInterface* FindInterface(uint32_t index);
    // False (EEXIST) when the index is taken.
    bool AddInterface(const InterfaceSpec& spec);
    bool RemoveInterface(uint32_t index);
    // Moves an interface's counters: bytes and unicast packets in and out.
    bool AddTraffic(uint32_t index, uint64_t inBytes, uint64_t outBytes, uint64_t inPackets = 0, uint64_t outPackets = 0);
    // Moves every counter of an interface by the counts in traffic (each modulo 2^32).
    bool AddTraffic(uint32_t index, const InterfaceRow& traffic);
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
    // One event of the timeline; false with the reason when it cannot be done.
    bool Play(const SimEvent& event, std::string& problem);
    [[nodiscard]] bool Lively(const std::optional<bool>& flag) const { return flag.value_or(clock_.mode() == ClockMode::Real); }
    void Charge(uint64_t elapsedMs);
    void Churn(uint64_t second);
    static uint64_t NextHeapAddress(const SimHeap& heap);

    SimClock clock_;
    unsigned processors_ = 1;
    // Whether thread loads wander, busy programs churn heap blocks and interfaces
    // count their rates; unset, each follows the clock (on while it is real).
    std::optional<bool> loadVariation_;
    std::optional<bool> heapChurn_;
    std::optional<bool> traffic_;
    std::string source_;             // the profile's file, for messages
    std::vector<SimEvent> events_;   // in the order they happen
    size_t nextEvent_ = 0;

    uint32_t permissions_ = 1;
    uint32_t ownProcessId_ = 0;

    SimProcessTable processes_;
    SimThreadStore threads_;
    SimModuleTable modules_;
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
