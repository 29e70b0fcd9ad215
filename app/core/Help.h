// Where the help page lies and what each tab says when it cannot be shown.
#pragma once

#include <string>

namespace kestrun {

// The help page beside the executable: its ".exe" replaced by ".htm", or ".htm"
// appended when it has none. The case of the path is kept: on a case-sensitive
// file system another case names another file.
std::wstring HelpFileFor(const std::wstring& modulePath);

struct TabInfo {
    const wchar_t* title;
    const wchar_t* anchor;
    const wchar_t* description;  // shown when the help viewer cannot be started
};

inline constexpr int kTabCount = 6;
enum TabIndex { kTabApplications, kTabProcesses, kTabServices, kTabDevices, kTabSystem, kTabNetwork };

const TabInfo& Tab(int index);

}  // namespace kestrun
