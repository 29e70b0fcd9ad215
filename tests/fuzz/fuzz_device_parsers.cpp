// Fuzz target: the parsers of /proc/interrupts, a PCI device's `resource` table
// and a PNP device's `resources` list must take any text without crashing and
// give only well-formed results. The first byte picks the parser.
#include "platform/linux/DeviceResources.h"
#include "platform/linux/ProcInterrupts.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kestrun::platform::linux_backend;

namespace {

void CheckRanges(const std::vector<ResourceRange>& ranges)
{
    for (const ResourceRange& range : ranges)
        if (range.end < range.start) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0: {
        const std::vector<InterruptLine> lines = ParseInterrupts(text);
        size_t characters = 0;
        for (const InterruptLine& line : lines) {
            characters += line.chip.size() + line.hardware.size();
            for (const std::string& action : line.actions) {
                if (action.empty()) __builtin_trap();
                characters += action.size();
                ServesDevice(line, action);
            }
            ServesDevice(line, line.chip);
        }
        if (characters > text.size()) __builtin_trap();  // nothing is made up
        break;
    }
    case 1: {
        const std::vector<ResourceRange> ranges = ParsePciResource(text);
        if (ranges.size() > 6) __builtin_trap();  // the base address registers only
        CheckRanges(ranges);
        break;
    }
    default:
        CheckRanges(ParsePnpResources(text).ranges);
        ParseModules(text);
        ParseSysfsNumber(text);
        break;
    }
    return 0;
}
