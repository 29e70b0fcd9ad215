#include "app/TrayIcon.h"

#include "app/StatusItemSource.h"
#include "app/core/LoadIconArt.h"
#include "app/core/StatusItemIcon.h"
#include "display/core/MessageBox.h"
#include "platform/StatusItem.h"

#include <wx/bmpbndl.h>
#include <wx/image.h>
#include <wx/taskbar.h>

#include <array>
#include <cstdio>
#include <utility>

namespace kestrun {

namespace {
wxBitmapBundle MakeLoadIcon(int index)
{
    const platform::Image art = DrawLoadIcon(index);
    wxImage image(art.width, art.height);
    for (int y = 0; y < art.height; ++y) {
        for (int x = 0; x < art.width; ++x) {
            const uint32_t argb = art.pixels[static_cast<size_t>(y * art.width + x)];
            image.SetRGB(x, y, static_cast<unsigned char>(argb >> 16), static_cast<unsigned char>(argb >> 8),
                         static_cast<unsigned char>(argb));
        }
    }
    return wxBitmapBundle(wxBitmap(image));
}

// The one message when no icon can be seen: on standard error, where it stands
// in nobody's way.
void TellOnStandardError(const std::wstring& text)
{
    std::fprintf(stderr, "kestrun: %s\n", platform::Narrow(text).c_str());
}
}  // namespace

// The wx task bar icon (a GtkStatusIcon, an X11 tray icon) as a notify icon, with the load icons.
class CTrayIcon::TaskBarIcon final : public wxTaskBarIcon, public NotifyIcon {
public:
    explicit TaskBarIcon(TrayIconState& state) : m_state(state)
    {
        for (int i = 0; i < kLoadIconCount; ++i) m_icons[static_cast<size_t>(i)] = MakeLoadIcon(i);
        // GTK reports one click as a press and a double click: only the press acts.
        Bind(wxEVT_TASKBAR_LEFT_DOWN, [this](wxTaskBarIconEvent&) { m_state.OnMouse(TrayMouse::LeftDown); });
        Bind(wxEVT_TASKBAR_LEFT_DCLICK, [this](wxTaskBarIconEvent&) { m_state.OnMouse(TrayMouse::LeftDoubleClick); });
    }

    // With no notification area the icon is still set, so that it shows when one appears.
    bool Add(int iconIndex, const std::wstring& tooltip) override { return Show(iconIndex, tooltip); }
    bool Modify(int iconIndex, const std::wstring& tooltip) override { return Show(iconIndex, tooltip); }
    bool Delete() override { return RemoveIcon(); }

private:
    bool Show(int iconIndex, const std::wstring& tooltip)
    {
        const wxBitmapBundle& icon = m_icons[static_cast<size_t>(iconIndex)];
        if (!icon.IsOk()) return false;
        return SetIcon(icon, wxString(tooltip));
    }

    TrayIconState& m_state;
    std::array<wxBitmapBundle, kLoadIconCount> m_icons;
};

CTrayIcon::CTrayIcon(std::function<bool()> isMainWindowShown, std::function<void()> hideMainWindow,
                     std::function<void()> restoreMainWindow)
    : m_taskBarIcon(std::make_unique<TaskBarIcon>(m_state)),
      m_item(platform::CreateStatusItem(
          {"kestrun", platform::Narrow(kAppName), "SystemServices"},
          {[this] { m_state.OnMouse(TrayMouse::LeftDown); },
           [this] { m_router.OnStatusItem(m_item->state(), m_item->hostPresent()); }})),
      m_statusIcon(std::make_unique<StatusItemIcon>(*m_item)),
      m_source(std::make_unique<CStatusItemSource>(*m_item)),
      m_router(*m_statusIcon, *m_taskBarIcon, [] { return wxTaskBarIcon::IsAvailable(); }, TellOnStandardError),
      m_state(m_router, std::move(isMainWindowShown), std::move(hideMainWindow), std::move(restoreMainWindow))
{
}

CTrayIcon::~CTrayIcon() { Destroy(); }

void CTrayIcon::Create() { m_state.Create(kAppName); }

void CTrayIcon::UpdateTrayIcon(unsigned load) { m_state.UpdateTrayIcon(load); }

void CTrayIcon::Destroy() { m_state.Destroy(); }

}  // namespace kestrun
