// Machine-wide kernel services: time, memory, the program itself, reboot.
#pragma once

#include "platform/Types.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrun::platform {

struct MemoryStatus {
    uint32_t memoryLoad = 0;  // percent of physical memory in use
    uint64_t totalPhys = 0;   // bytes
    uint64_t availPhys = 0;   // bytes
    uint64_t totalVirtual = 0;
    uint64_t availVirtual = 0;
};

// Held by the first copy of the program for its whole life.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

struct InstanceLockResult {
    std::unique_ptr<InstanceLock> lock;  // null when it could not be created at all
    bool alreadyExists = false;          // another copy holds it
};

class Kernel {
public:
    virtual ~Kernel() = default;

    // Milliseconds since boot, wrapping modulo 2^32.
    virtual uint32_t GetTickCount() = 0;
    virtual MemoryStatus GlobalMemoryStatus() = 0;
    virtual unsigned ProcessorCount() = 0;

    // Busy time of all processors together since boot, 100 ns units: what every
    // thread was charged. nullopt (last error set) when it cannot be read.
    virtual std::optional<uint64_t> TotalBusyTime() = 0;

    // Full path of the program's own executable.
    virtual std::optional<std::wstring> OwnModuleFileName() = 0;
    // The program's own process id.
    virtual uint32_t GetCurrentProcessId() = 0;

    // Named single-instance guard.
    virtual InstanceLockResult CreateInstanceLock(const std::wstring& name) = 0;

    // Priority level 0..7 of the calling thread.
    virtual bool SetCurrentThreadPriority(int level) = 0;

    // Asks the system to reboot. Returns only when it was refused.
    virtual bool Reboot() = 0;
};

}  // namespace kestrun::platform
