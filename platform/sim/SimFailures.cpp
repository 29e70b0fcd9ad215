#include "platform/sim/SimFailures.h"

#include "platform/LastError.h"

#include <charconv>
#include <cstring>
#include <iterator>

namespace kestrun::platform::sim {

namespace {

// In the order of SimCall.
constexpr const char* kCallNames[] = {
    "createSnapshot",  "processSnapshot", "threadSnapshot",   "moduleSnapshot",    "heapListSnapshot",
    "firstProcess",    "firstThread",     "firstModule",      "firstHeapList",     "closeSnapshot",
    "heapEntries",     "threadTimes",     "getThreadPriority", "setThreadPriority", "openProcess",
    "terminate",       "moduleFileName",  "totalBusyTime",    "ownModuleFileName", "instanceLock",
    "setCurrentThreadPriority", "reboot", "enumServices",     "serviceControl",    "findDevices",
    "devicePower",     "deactivateDevice", "ifTable",         "ifTableMemory",     "adapterName",
    "desktop",         "enumWindows",     "postClose",        "showWindow",        "setForeground",
    "fileInfo",        "versionInfo",     "helpViewer",       "registry",
};
static_assert(std::size(kCallNames) == static_cast<size_t>(SimCall::Count), "one name per call");

// Error numbers are small: the system's names cover them all.
constexpr int kLargestErrorNumber = 4095;

}  // namespace

bool SimFailures::Consume(SimCall call)
{
    Slot& slot = slots_[Index(call)];
    if (slot.count == 0) return false;
    if (slot.skip > 0) {
        --slot.skip;
        return false;
    }
    if (slot.count > 0) --slot.count;
    SetLastError(slot.error);
    return true;
}

std::string SimCallName(SimCall call)
{
    const auto index = static_cast<size_t>(call);
    return index < std::size(kCallNames) ? kCallNames[index] : "?";
}

std::optional<SimCall> SimCallByName(const std::string& name)
{
    for (size_t i = 0; i < std::size(kCallNames); ++i)
        if (name == kCallNames[i]) return static_cast<SimCall>(i);
    return std::nullopt;
}

std::string SimCallNames()
{
    std::string names;
    for (const char* name : kCallNames) names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

std::optional<uint32_t> ErrorNumberByName(const std::string& name)
{
    uint32_t number = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (ec == std::errc() && end == name.data() + name.size() && !name.empty()) return number;
    for (int code = 1; code <= kLargestErrorNumber; ++code) {
        const char* known = strerrorname_np(code);
        if (known != nullptr && name == known) return static_cast<uint32_t>(code);
    }
    return std::nullopt;
}

}  // namespace kestrun::platform::sim
