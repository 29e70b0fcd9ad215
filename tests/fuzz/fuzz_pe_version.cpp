// Fuzz target: the version-resource reader of Windows executables must accept
// or reject any file without crashing or reading past it.
#include "platform/common/PeVersion.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> image(data, size);
    if (const auto resource = kestrun::platform::FindVersionResource(image)) {
        if (resource->size() > size) __builtin_trap();  // it was cut out of the file
        (void)kestrun::platform::VersionStrings(*resource);
    }
    // The resource reader on its own, over the raw bytes as a version block.
    (void)kestrun::platform::VersionStrings(image);
    return 0;
}
