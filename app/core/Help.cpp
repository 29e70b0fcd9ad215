#include "app/core/Help.h"

namespace kestrun {

std::wstring HelpFileFor(const std::wstring& modulePath)
{
    // Only the file's own ".exe" counts: one inside a folder name would point the
    // help at a folder that does not exist.
    static const std::wstring kExe = L".exe";
    std::wstring path = modulePath;
    if (path.size() >= kExe.size() && path.compare(path.size() - kExe.size(), kExe.size(), kExe) == 0)
        path.resize(path.size() - kExe.size());
    return path + L".htm";
}

const TabInfo& Tab(int index)
{
    static const TabInfo kTabs[kTabCount] = {
        {L"Applications", L"#applications", L"This tab shows the programs running on the system."},
        {L"Processes", L"#processes", L"This tab shows information about the processes running on the system."},
        {L"Services", L"#services", L"This tab shows information about the services running on the system."},
        {L"Devices", L"#devices", L"This tab shows information about the active devices in the system."},
        {L"System Performance", L"#system", L"This tab shows a dynamic overview about the performance of the computer."},
        {L"Network", L"#network", L"This tab shows a graphical representation of the network performance."},
    };
    return kTabs[index];
}

}  // namespace kestrun
