#include "app/core/StatusItemIcon.h"

#include "app/core/LoadIconArt.h"

#include <utility>

namespace kestrun {

StatusItemIcon::StatusItemIcon(platform::StatusItem& item, std::string busAddress)
    : m_item(item), m_busAddress(std::move(busAddress))
{
}

void StatusItemIcon::Show(int iconIndex, const std::wstring& tooltip)
{
    m_item.SetIcon(DrawLoadIconSizes(iconIndex));
    m_item.SetToolTip(platform::Narrow(tooltip));
}

bool StatusItemIcon::Add(int iconIndex, const std::wstring& tooltip)
{
    Show(iconIndex, tooltip);
    return m_item.Start(m_busAddress);
}

bool StatusItemIcon::Modify(int iconIndex, const std::wstring& tooltip)
{
    Show(iconIndex, tooltip);
    return m_item.state() == platform::StatusItemState::Registered;
}

bool StatusItemIcon::Delete()
{
    m_item.Stop();
    return true;
}

}  // namespace kestrun
