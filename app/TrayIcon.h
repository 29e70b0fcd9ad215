// The notification-area icon of the tab view: one of twelve load icons with the
// CPU load in its tooltip; a left click hides or restores the main window.
#pragma once

#include "app/core/TrayIconState.h"

#include <functional>
#include <memory>

namespace kestrun {

class CTrayIcon {
public:
    CTrayIcon(std::function<bool()> isMainWindowShown, std::function<void()> hideMainWindow,
              std::function<void()> restoreMainWindow);
    ~CTrayIcon();

    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Draws the load icons and adds the icon with the application's name as its
    // tooltip; says so once when there is no notification area to add it to.
    void Create();
    // Shows the icon for a load in percent; nothing happens when the icon stays the same.
    void UpdateTrayIcon(unsigned load);
    void Destroy();

    [[nodiscard]] const TrayIconState& state() const { return m_state; }

private:
    class TaskBarIcon;
    std::unique_ptr<TaskBarIcon> m_icon;
    TrayIconState m_state;
};

}  // namespace kestrun
