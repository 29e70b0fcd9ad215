#include "app/TrayIcon.h"

#include "app/core/LoadIconArt.h"
#include "display/core/MessageBox.h"

#include <wx/bmpbndl.h>
#include <wx/image.h>
#include <wx/taskbar.h>

#include <array>
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
}  // namespace

// The wx task bar icon as the tray logic's notify icon, with the load icons.
class CTrayIcon::TaskBarIcon final : public wxTaskBarIcon, public NotifyIcon {
public:
    explicit TaskBarIcon(TrayIconState& state) : m_state(state)
    {
        for (int i = 0; i < kLoadIconCount; ++i) m_icons[static_cast<size_t>(i)] = MakeLoadIcon(i);
        // GTK reports one click as a press and a double click: only the press acts.
        Bind(wxEVT_TASKBAR_LEFT_DOWN, [this](wxTaskBarIconEvent&) { m_state.OnMouse(TrayMouse::LeftDown); });
        Bind(wxEVT_TASKBAR_LEFT_DCLICK, [this](wxTaskBarIconEvent&) { m_state.OnMouse(TrayMouse::LeftDoubleClick); });
    }

    bool Add(int iconIndex, const std::wstring& tooltip) override
    {
        // With no notification area the icon is still set, so that it shows when
        // one appears later, but the add is reported as failed.
        const bool set = Show(iconIndex, tooltip);
        return set && wxTaskBarIcon::IsAvailable();
    }
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
    : m_icon(std::make_unique<TaskBarIcon>(m_state)),
      m_state(*m_icon, std::move(isMainWindowShown), std::move(hideMainWindow), std::move(restoreMainWindow))
{
}

CTrayIcon::~CTrayIcon() { Destroy(); }

void CTrayIcon::Create() { m_state.Create(kAppName); }

void CTrayIcon::UpdateTrayIcon(unsigned load) { m_state.UpdateTrayIcon(load); }

void CTrayIcon::Destroy() { m_state.Destroy(); }

}  // namespace kestrun
