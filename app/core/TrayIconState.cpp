#include "app/core/TrayIconState.h"

#include <cwchar>
#include <utility>

namespace kestrun {

namespace {
constexpr size_t kTooltipChars = 64;  // including the terminating null
}  // namespace

int LoadIconIndex(unsigned load)
{
    // 64-bit so that no load overflows; the rule is load * 11 / 100 rounded toward zero.
    const long long index = static_cast<long long>(load) * (kLoadIconCount - 1) / 100;
    if (index < 0 || index >= kLoadIconCount) return 0;
    return static_cast<int>(index);
}

std::wstring LoadTooltip(unsigned load)
{
    wchar_t text[kTooltipChars];
    std::swprintf(text, kTooltipChars, L"CPU Load: %u%%", load);
    return text;
}

TrayIconState::TrayIconState(NotifyIcon& icon, std::function<bool()> isMainWindowShown,
                             std::function<void()> hideMainWindow, std::function<void()> restoreMainWindow)
    : m_icon(icon),
      m_isMainWindowShown(std::move(isMainWindowShown)),
      m_hideMainWindow(std::move(hideMainWindow)),
      m_restoreMainWindow(std::move(restoreMainWindow))
{
}

bool TrayIconState::Create(const std::wstring& applicationName)
{
    m_iconIndex = 0;
    m_tooltip = applicationName.substr(0, kTooltipChars - 1);
    m_created = true;
    return m_icon.Add(m_iconIndex, m_tooltip);
}

void TrayIconState::UpdateTrayIcon(unsigned load)
{
    if (!m_created) return;
    const int index = LoadIconIndex(load);
    if (index == m_iconIndex) return;
    m_iconIndex = index;
    m_tooltip = LoadTooltip(load);
    m_icon.Modify(m_iconIndex, m_tooltip);  // a tray that is not there is not an error here
}

void TrayIconState::Destroy()
{
    if (!m_created) return;
    m_icon.Delete();
    m_created = false;
}

void TrayIconState::OnMouse(TrayMouse event)
{
    if (event != TrayMouse::LeftDown) return;
    if (m_isMainWindowShown && m_isMainWindowShown()) {
        if (m_hideMainWindow) m_hideMainWindow();
    } else if (m_restoreMainWindow) {
        m_restoreMainWindow();
    }
}

}  // namespace kestrun
