// Fuzz target: a device profile is a file a user writes or gets with a bug
// report. Reading it must accept it or give a one-line reason, and a device
// built from an accepted one must play its whole timeline (events that find
// nothing to act on are reported, never a crash).
#include "platform/sim/SimPlatform.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace kestrun::platform;
    using namespace kestrun::platform::sim;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<SimProfile> profile = ParseProfile(text, "fuzz.json", error);
    if (!profile) {
        if (error.empty() || error.find('\n') != std::string::npos) __builtin_trap();  // one line, always
        return 0;
    }
    // Big generated devices are the benchmarks' business, not the fuzzer's.
    if (profile->processes.size() > 2000) return 0;
    std::unique_ptr<SimPlatform> platform = CreateSimPlatformForTest(*profile);
    for (uint32_t tick = 1; tick <= 4; ++tick) {
        platform->device().AdvanceTime(1000);
        (void)platform->device().BeginTick(tick);
        (void)platform->toolHelp().CreateSnapshot(kSnapProcess | kSnapThread | kSnapHeapList | kSnapModule, 0);
    }
    (void)platform->device().BeginTick(UINT32_MAX);
    return 0;
}
