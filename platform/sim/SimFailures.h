// Failure injection for the simulated device: every call the program makes that
// can fail has a name here; a failing call sets the last error to the injected code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrun::platform::sim {

enum class SimCall : size_t {
    CreateSnapshot,    // any snapshot
    ProcessSnapshot,   // snapshots that hold processes
    ThreadSnapshot,    // snapshots that hold threads but no processes
    ModuleSnapshot,    // module snapshots
    HeapListSnapshot,  // heap-list snapshots
    FirstProcess,      // the process list of the next snapshot comes back empty
    FirstThread,       // ... the thread list
    FirstModule,       // ... the module list
    FirstHeapList,     // ... the heap lists
    CloseSnapshot,
    HeapEntries,       // a heap list's first entry
    ThreadTimes,
    GetThreadPriority,
    SetThreadPriority,
    OpenProcess,
    Terminate,
    ModuleFileName,
    TotalBusyTime,
    OwnModuleFileName,
    InstanceLock,
    SetCurrentThreadPriority,
    Reboot,
    EnumServices,
    ServiceControl,
    FindDevices,
    DevicePower,
    DeactivateDevice,
    IfTable,
    IfTableMemory,     // room for the interface table cannot be had
    AdapterName,       // the adapter list (GetAdapterName answers empty)
    Desktop,           // the desktop is not available
    EnumWindows,       // the window list cannot be read
    PostClose,
    ShowWindow,
    SetForeground,
    FileInfo,
    VersionInfo,
    HelpViewer,
    Registry,          // any registry call
    Count
};

class SimFailures {
public:
    void Inject(SimCall call, uint32_t error, int count, int skip)
    {
        slots_[Index(call)] = Slot{error, count, skip};
    }
    void Clear() { slots_ = {}; }
    // True (and the last error set) when this call is to fail now.
    bool Consume(SimCall call);
    // True while failures of this call are still to come (Consume then counts calls).
    [[nodiscard]] bool Armed(SimCall call) const { return slots_[Index(call)].count != 0; }

private:
    struct Slot {
        uint32_t error = 0;
        int count = 0;  // failures still to come; negative: for ever
        int skip = 0;   // calls to let pass first
    };
    static size_t Index(SimCall call) { return static_cast<size_t>(call); }
    std::array<Slot, static_cast<size_t>(SimCall::Count)> slots_{};
};

// Injection count meaning "every call from now on".
constexpr int kAlways = -1;

// A call's name as profiles write it: the enumerator with a lower-case first
// letter ("threadTimes" for SimCall::ThreadTimes).
std::string SimCallName(SimCall call);
std::optional<SimCall> SimCallByName(const std::string& name);
// Every call's name, comma-separated, for messages.
std::string SimCallNames();

// An error number from its symbolic name ("EACCES") or its decimal number.
std::optional<uint32_t> ErrorNumberByName(const std::string& name);

}  // namespace kestrun::platform::sim
