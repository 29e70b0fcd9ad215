// What the simulated device keeps of each of its parts: plain records, owned
// and kept consistent by the device.
#pragma once

#include "platform/Devices.h"
#include "platform/Interfaces.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/ToolHelp.h"
#include "platform/Types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
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
    uint32_t churnBlocks = 0;  // blocks the heap churn added
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
    uint64_t inRate = 0;  // bytes per second (while the device counts traffic)
    uint64_t outRate = 0;
    uint64_t inCarry = 0;  // byte-milliseconds not yet counted
    uint64_t outCarry = 0;
};

struct SimFile {
    FileInfo info;
    std::optional<VersionInfo> version;
    std::optional<uint32_t> iconColor;  // the icon the shell shows for it; unset: none
};

}  // namespace kestrun::platform::sim
