// The notification icon as a status item: the load icon in every panel size
// and the tooltip in UTF-8.
#pragma once

#include "app/core/TrayIconState.h"
#include "platform/StatusItem.h"

#include <string>

namespace kestrun {

class StatusItemIcon final : public NotifyIcon {
public:
    // busAddress: the session bus to offer the item on; empty for the user's own.
    explicit StatusItemIcon(platform::StatusItem& item, std::string busAddress = {});

    // Starts the item with the icon; false when there is no session bus.
    bool Add(int iconIndex, const std::wstring& tooltip) override;
    // Sets the icon and the tooltip; panels are told of both.
    bool Modify(int iconIndex, const std::wstring& tooltip) override;
    bool Delete() override;

private:
    void Show(int iconIndex, const std::wstring& tooltip);

    platform::StatusItem& m_item;
    std::string m_busAddress;
};

}  // namespace kestrun
