#include "app/core/TrayIconRouter.h"

#include <utility>

namespace kestrun {

using platform::StatusItemState;

TrayIconRouter::TrayIconRouter(NotifyIcon& statusItem, NotifyIcon& trayIcon, std::function<bool()> trayPresent,
                               std::function<void(const std::wstring&)> tell)
    : m_statusItem(statusItem), m_trayIcon(trayIcon), m_trayPresent(std::move(trayPresent)), m_tell(std::move(tell))
{
}

bool TrayIconRouter::Add(int iconIndex, const std::wstring& tooltip)
{
    m_added = true;
    m_iconIndex = iconIndex;
    m_tooltip = tooltip;
    m_state = StatusItemState::Connecting;
    m_hostPresent = false;
    // No session bus at all: the answer is known now.
    if (!m_statusItem.Add(iconIndex, tooltip)) m_state = StatusItemState::NoWatcher;
    Route();
    return true;
}

bool TrayIconRouter::Modify(int iconIndex, const std::wstring& tooltip)
{
    m_iconIndex = iconIndex;
    m_tooltip = tooltip;
    // The item keeps the icon current even while no panel shows it, so that a
    // panel that comes reads the right one.
    bool shown = m_statusItem.Modify(iconIndex, tooltip);
    if (m_trayIconShown) shown = m_trayIcon.Modify(iconIndex, tooltip) || shown;
    return shown;
}

bool TrayIconRouter::Delete()
{
    if (!m_added) return true;
    m_added = false;
    m_statusItem.Delete();
    if (m_trayIconShown) m_trayIcon.Delete();
    m_trayIconShown = false;
    return true;
}

void TrayIconRouter::OnStatusItem(StatusItemState state, bool hostPresent)
{
    m_state = state;
    m_hostPresent = hostPresent;
    if (m_added) Route();
}

bool TrayIconRouter::statusItemShown() const { return m_state == StatusItemState::Registered && m_hostPresent; }

bool TrayIconRouter::IconShown() const
{
    return statusItemShown() || (m_trayIconShown && m_trayPresent && m_trayPresent());
}

void TrayIconRouter::Route()
{
    if (m_state == StatusItemState::Connecting) return;  // a few milliseconds: no icon flickers in and out
    if (statusItemShown()) {
        if (m_trayIconShown) m_trayIcon.Delete();
        m_trayIconShown = false;
    } else if (!m_trayIconShown) {
        // Set even without a notification area: the icon shows when one appears.
        m_trayIcon.Add(m_iconIndex, m_tooltip);
        m_trayIconShown = true;
    }
    if (m_told) return;
    m_told = true;
    if (!IconShown() && m_tell) m_tell(kTrayIconAddFailed);
}

}  // namespace kestrun
