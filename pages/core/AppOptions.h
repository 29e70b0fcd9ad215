// The four user options and their place in the registry.
#pragma once

#include "display/core/MessageBox.h"
#include "platform/Registry.h"

namespace kestrun {

// Current user key holding the options.
inline constexpr wchar_t kOptionsKey[] = L"Software\\Dravik\\Dravik Task Manager\\Options";

struct AppOptions {
    bool AlwaysOnTop = false;
    bool HideWhenMinimized = false;
    bool MinimizeAfterProgramSwitch = false;
    bool AutoScale = false;

    // Missing or unreadable values give their defaults (1, 1, 1, 0); a stored
    // number is true only when it is exactly 1. Nothing is reported.
    static AppOptions Load(platform::Registry& registry);
    // Writes the four values as 1 or 0, in a fixed order; false when a write failed.
    bool Save(platform::Registry& registry) const;
};

}  // namespace kestrun
