// Where the notification icon shows: as a status item when a desktop panel takes
// one (KDE, GNOME with AppIndicator, XFCE, Cinnamon, MATE, LXQt), otherwise as
// the X11 tray icon, never both (KDE would show the X11 icon a second time).
// The router follows the panel's watcher leaving and coming back, and tells
// the user once, when the program starts, if neither can show the icon.
#pragma once

#include "app/core/TrayIconState.h"
#include "platform/StatusItem.h"

#include <functional>
#include <string>

namespace kestrun {

class TrayIconRouter final : public NotifyIcon {
public:
    // statusItem starts its item on Add; trayIcon is the X11 tray icon and
    // trayPresent says whether an X11 notification area is there to show it;
    // tell gets the one message for the user.
    TrayIconRouter(NotifyIcon& statusItem, NotifyIcon& trayIcon, std::function<bool()> trayPresent,
                   std::function<void(const std::wstring&)> tell);

    // NotifyIcon: the icon goes to the status item at once; the X11 icon waits
    // until the bus has said whether a panel takes the item.
    bool Add(int iconIndex, const std::wstring& tooltip) override;
    bool Modify(int iconIndex, const std::wstring& tooltip) override;
    bool Delete() override;

    // The status item's standing with the panel changed.
    void OnStatusItem(platform::StatusItemState state, bool hostPresent);

    // Whether the user has an icon to click: the status item in a panel, or the
    // X11 icon in a notification area.
    [[nodiscard]] bool IconShown() const;
    [[nodiscard]] bool statusItemShown() const;
    [[nodiscard]] bool trayIconShown() const { return m_trayIconShown; }

private:
    void Route();

    NotifyIcon& m_statusItem;
    NotifyIcon& m_trayIcon;
    std::function<bool()> m_trayPresent;
    std::function<void(const std::wstring&)> m_tell;
    platform::StatusItemState m_state = platform::StatusItemState::Connecting;
    bool m_hostPresent = false;
    bool m_added = false;
    bool m_trayIconShown = false;
    bool m_told = false;
    int m_iconIndex = 0;
    std::wstring m_tooltip;
};

}  // namespace kestrun
