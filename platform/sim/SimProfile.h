// A description of a simulated device: what a profile file holds once parsed,
// and what tests and benchmarks build directly. Zero ids, addresses and times
// mean "let the device choose" (deterministically).
#pragma once

#include "platform/Interfaces.h"
#include "platform/Kernel.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/ToolHelp.h"
#include "platform/Types.h"
#include "platform/sim/SimFailures.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::platform::sim {

enum class ClockMode {
    Manual,  // time moves only through AdvanceTime
    Real,    // the tick follows real elapsed time
};

struct HeapBlockSpec {
    uint64_t address = 0;  // 0: placed after the previous block of its heap
    uint64_t size = 0;
    uint32_t flags = 0x1;  // HeapEntryFlags; fixed by default
    uint32_t lockCount = 0;
};

struct HeapSpec {
    uint64_t heapId = 0;  // 0: chosen by the device
    uint32_t flags = 0;
    std::vector<HeapBlockSpec> blocks;
};

struct ThreadSpec {
    uint32_t id = 0;  // 0: chosen by the device
    int32_t basePriority = 3;
    int32_t deltaPriority = 0;
    uint32_t usageCount = 1;
    std::wstring runsIn;          // exe name of the process it runs in now; empty: its owner
    uint32_t load = 0;            // share of the processor it uses, hundredths of a percent
    uint32_t kernelShare = 50;    // percent of its time charged as kernel time
    uint64_t kernelTime = 0;      // 100 ns units
    uint64_t userTime = 0;        // 100 ns units
    std::optional<uint64_t> createdMs;  // milliseconds after boot; unset: when it was added
};

struct ModuleUse {
    std::wstring name;  // module name (case-insensitive)
    uint32_t usage = 1;
};

struct WindowSpec {
    std::wstring title;
    std::wstring ownerTitle;       // title of the owner window; empty: no owner
    std::wstring parentTitle;      // title of the parent window; empty: a top-level window
    bool visible = true;
    bool foreground = false;
    bool respondsToClose = true;   // false: a close request leaves the window ("not responding")
    uint32_t closeAfterPolls = 0;  // a close request takes effect at this many-th look whether the window exists; 0: at once
    bool closeEndsProcess = true;  // closing the process's last window ends the process
    std::optional<uint32_t> iconColor;  // 0xAARRGGBB; unset: the window gives no icon
};

struct ProcessSpec {
    uint32_t id = 0;  // 0: chosen by the device
    std::wstring exeName;
    std::wstring path;         // full path; empty: \Windows\<exeName>
    uint64_t memoryBase = 0;   // 0: the process's slot address
    uint32_t accessKey = 0;    // 0: the process's slot bit
    bool inRom = false;        // the executable file is a ROM module
    bool self = false;         // the program itself (always accessible)
    bool terminable = true;
    std::vector<ThreadSpec> threads;
    std::vector<HeapSpec> heaps;
    std::vector<ModuleUse> modules;
    std::vector<WindowSpec> windows;
};

struct FileSpec {
    std::wstring path;
    FileInfo info;
    std::optional<VersionInfo> version;
};

struct ModuleSpec {
    uint32_t id = 0;  // 0: chosen by the device
    std::wstring name;
    std::wstring path;  // empty: \Windows\<name>
    uint64_t baseAddress = 0;
    uint64_t size = 0;
    bool inRom = false;
    std::optional<VersionInfo> version;
};

struct ServiceSpec {
    std::wstring prefix;  // three letters, e.g. "HTP"
    uint32_t index = 0;
    std::wstring dll;
    int32_t state = 1;
    std::wstring keyName;  // subkey of "Services"; empty: no registry key
    bool writeIndex = true;  // false: the key has no "Index" value
    std::optional<uint32_t> order;
    std::wstring friendlyName;
    std::wstring displayName;
    std::wstring description;
};

struct DeviceSpec {
    std::wstring legacyName;  // e.g. "COM1:"
    std::wstring name;        // full device name; empty: \$device\<legacy name without colon>
    std::wstring busName;
    std::wstring driverKey;   // key holding Dll, Order, IRQ, ... under the local machine hive
    std::wstring dll;
    std::optional<uint32_t> order;
    std::optional<uint32_t> irq;
    std::optional<uint32_t> sysIntr;
    std::optional<RegValue> ioBase;
    std::optional<RegValue> memBase;
    int power = 0;  // 0..4; -1: power queries fail
    bool deactivatable = true;
};

struct InterfaceSpec {
    InterfaceRow row;
    std::wstring adapterName;  // what the adapter list reports for row.index
    std::wstring friendlyName; // seeds Comm\AdapterNameMappings (current user, kept in memory)
    uint64_t inRate = 0;       // bytes per second while the device counts traffic
    uint64_t outRate = 0;
};

struct RegistrySeed {
    Hive hive = Hive::LocalMachine;
    std::wstring key;
    std::wstring name;  // empty with no value: the key alone
    std::optional<RegValue> value;
};

// A failure the device gives: the call, the error it sets, how many calls pass
// first and how many fail after them (kAlways: every one).
struct FailureSpec {
    SimCall call = SimCall::CreateSnapshot;
    uint32_t error = 0;
    int count = 1;
    int skip = 0;
};

enum class SimEventKind {
    StartProcess, EndProcess, StartThread, EndThread, SetThreadTimes, SetThreadLoad,
    AddHeapBlock, RemoveHeapBlock,
    OpenWindow, CloseWindow, RetitleWindow,
    AddService, RemoveService, SetServiceState,
    AddDevice, RemoveDevice, SetDevicePower,
    AddInterface, RemoveInterface, SetInterface, AddTraffic,
    AddModule, LoadModule, UnloadModule,
    SetMemory, Fail, ClearFailures,
};

// One change on the device's timeline, made before the refresh tick it names.
// Only the fields of its kind are used.
struct SimEvent {
    SimEventKind kind = SimEventKind::ClearFailures;
    uint32_t tick = 1;   // the refresh tick it comes before; 1: the first
    size_t index = 0;    // its place in the profile's "events", for messages
    // The process acted on: by id, else the first of this executable name.
    uint32_t processId = 0;
    std::wstring exeName;
    // The thread acted on: by id, else the process's threadIndex-th thread.
    uint32_t threadId = 0;
    size_t threadIndex = 0;
    int32_t exitCode = 0;
    std::optional<uint64_t> kernelTime;  // 100 ns units
    std::optional<uint64_t> userTime;
    uint32_t load = 0;        // hundredths of a percent
    size_t heapIndex = 0;     // the process's heap, in its order
    std::optional<uint64_t> blockAddress;  // removeHeapBlock: by address, else
    size_t blockIndex = 0;                 // the heap's blockIndex-th block
    std::vector<HeapBlockSpec> blocks;
    ProcessSpec process;
    std::vector<ThreadSpec> threads;
    WindowSpec window;
    std::wstring name;        // window title, service prefix, device name or module name
    std::wstring newTitle;
    int32_t state = 0;        // service state or device power
    ServiceSpec service;
    DeviceSpec device;
    InterfaceSpec interfaceSpec;
    uint32_t interfaceIndex = 0;
    InterfaceRow traffic;     // addTraffic: added to the counters
    // setInterface: the values given replace the interface's own.
    std::optional<uint32_t> status, mtu;
    std::optional<uint64_t> speed;
    std::vector<std::pair<size_t, uint64_t>> counters;  // counter (InterfaceCounter order) and value
    ModuleSpec module;
    uint32_t usage = 1;
    std::optional<uint64_t> totalPhys, availPhys, totalVirtual, availVirtual;
    std::optional<uint32_t> memoryLoad;
    FailureSpec failure;
};

// The event kinds by the names profiles give them ("startProcess").
std::string SimEventName(SimEventKind kind);

// The ten counters of an interface row, by their profile names ("inOctets", ...).
struct InterfaceCounter {
    const char* name;
    uint64_t InterfaceRow::*field;
};
const std::vector<InterfaceCounter>& InterfaceCounters();

struct SimProfile {
    std::string name = "Simulated device";
    std::string source = "profile";  // the file it came from, for messages
    ClockMode clock = ClockMode::Manual;
    unsigned processors = 1;
    uint32_t startTick = 60000;              // tick count at start, milliseconds
    uint64_t bootTime = 133485408000000000;  // file time of boot (2024-01-01 00:00:00)
    MemoryStatus memory{40, 32u << 20, 19u << 20, 32u << 20, 20u << 20};
    bool memoryLoadGiven = false;            // false: memoryLoad follows from the totals
    std::vector<ModuleSpec> modules;
    std::vector<ProcessSpec> processes;
    std::vector<ServiceSpec> services;
    std::vector<DeviceSpec> devices;
    std::vector<InterfaceSpec> interfaces;
    std::vector<RegistrySeed> registry;
    std::vector<FileSpec> files;
    // What makes a demo look alive; unset: on while the clock is real.
    std::optional<bool> loadVariation;  // each thread's load wanders, once a second
    std::optional<bool> heapChurn;      // busy programs allocate and free heap blocks
    std::optional<bool> traffic;        // interfaces count their inRate and outRate
    std::vector<FailureSpec> failures;  // armed at start
    std::vector<SimEvent> events;       // in the order of their ticks, then as listed
};

// Lower-case copy: device names, paths and keys compare case-insensitively.
std::wstring Lower(const std::wstring& text);

// Parses a profile (JSON text); source names the text in messages. On failure
// returns nullopt with a one-line reason ("source: line 3: ..." or "source: processes[2].exe: ...").
std::optional<SimProfile> ParseProfile(const std::string& text, const std::string& source, std::string& error);
std::optional<SimProfile> LoadProfileFile(const std::string& path, std::string& error);

// The compiled-in demo device.
const std::string& BuiltinProfileText();
SimProfile BuiltinProfile();

// A device with many processes for benchmarks: the system processes plus
// generated programs, each with its threads, heap entries and a few modules.
SimProfile MakeScaledProfile(uint32_t processes, uint32_t threadsPerProcess, uint32_t heapEntriesPerProcess);

}  // namespace kestrun::platform::sim
