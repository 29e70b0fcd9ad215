// The notification icon of the tab view: one of twelve load icons with the CPU
// load in its tooltip; a left click hides or restores the main window. It shows
// as a status item where a desktop panel takes one, otherwise as an X11 tray icon.
#pragma once

#include "app/core/TrayIconRouter.h"
#include "app/core/TrayIconState.h"

#include <functional>
#include <memory>

namespace kestrun {

namespace platform { class StatusItem; }
class CStatusItemSource;
class StatusItemIcon;

class CTrayIcon {
public:
    CTrayIcon(std::function<bool()> isMainWindowShown, std::function<void()> hideMainWindow,
              std::function<void()> restoreMainWindow);
    ~CTrayIcon();

    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Adds the icon with the application's name as its tooltip. When neither a
    // panel nor a notification area can show it, standard error says so once.
    void Create();
    // Shows the icon for a load in percent; nothing happens when the icon stays the same.
    void UpdateTrayIcon(unsigned load);
    void Destroy();

    // Whether the user has an icon to click to bring the window back.
    [[nodiscard]] bool IconShown() const { return m_router.IconShown(); }

    [[nodiscard]] const TrayIconState& state() const { return m_state; }
    [[nodiscard]] const TrayIconRouter& router() const { return m_router; }

private:
    class TaskBarIcon;
    std::unique_ptr<TaskBarIcon> m_taskBarIcon;
    std::unique_ptr<platform::StatusItem> m_item;
    std::unique_ptr<StatusItemIcon> m_statusIcon;
    std::unique_ptr<CStatusItemSource> m_source;
    TrayIconRouter m_router;
    TrayIconState m_state;
};

}  // namespace kestrun
