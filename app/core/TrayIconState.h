// The notification-area icon that shows the CPU load: which of the twelve load
// icons and which tooltip to show, and what a click on it does. The icon itself
// is behind a narrow interface, so the platform is asked only when the shown
// icon changes.
#pragma once

#include <functional>
#include <string>

namespace kestrun {

inline constexpr int kLoadIconCount = 12;
inline constexpr int kFirstLoadIconId = 142;  // icon resource of load index 0
// Said once at start-up when no panel or notification area can show the icon.
inline constexpr wchar_t kTrayIconAddFailed[] = L"The taskbar notification icon cannot be added.";

// The notification icon as the platform shows it.
class NotifyIcon {
public:
    virtual ~NotifyIcon() = default;
    // Puts the icon with load index iconIndex and the tooltip into the tray.
    virtual bool Add(int iconIndex, const std::wstring& tooltip) = 0;
    virtual bool Modify(int iconIndex, const std::wstring& tooltip) = 0;
    virtual bool Delete() = 0;
};

// Load index 0..11 for a percentage: 0-9 % -> 0, 10-18 % -> 1, ..., 100 % -> 11;
// anything mapping outside 0..11 shows index 0.
int LoadIconIndex(unsigned load);

// "CPU Load: %u%%", cut to the 63 characters the tooltip holds.
std::wstring LoadTooltip(unsigned load);

enum class TrayMouse {
    LeftDown,
    LeftDoubleClick,  // GTK reports every single click as a double click as well
    Other,
};

class TrayIconState {
public:
    TrayIconState(NotifyIcon& icon, std::function<bool()> isMainWindowShown, std::function<void()> hideMainWindow,
                  std::function<void()> restoreMainWindow);

    // Adds the icon (index 0, the tooltip applicationName). When that fails the
    // program goes on and later requests are made all the same; telling the user
    // is the icon's own matter (no box: one would stand in the way at start-up).
    bool Create(const std::wstring& applicationName);

    // Shows the icon for load; the platform is asked only when the index changes.
    void UpdateTrayIcon(unsigned load);

    void Destroy();

    // A mouse event on the icon: a left button press hides the shown main window
    // or restores the hidden one; everything else is ignored.
    void OnMouse(TrayMouse event);

    [[nodiscard]] int iconIndex() const { return m_iconIndex; }
    [[nodiscard]] const std::wstring& tooltip() const { return m_tooltip; }
    [[nodiscard]] bool created() const { return m_created; }

private:
    NotifyIcon& m_icon;
    std::function<bool()> m_isMainWindowShown;
    std::function<void()> m_hideMainWindow;
    std::function<void()> m_restoreMainWindow;
    int m_iconIndex = 0;
    std::wstring m_tooltip;
    bool m_created = false;
};

}  // namespace kestrun
