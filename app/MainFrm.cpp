#include "app/MainFrm.h"

#include "app/Ids.h"
#include "pages/core/AppServices.h"
#include "app/KestrunView.h"
#include "display/DialogScale.h"

#include <wx/accel.h>
#include <wx/artprov.h>
#include <wx/display.h>
#include <wx/iconbndl.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/toolbar.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>

namespace kestrun {

wxBEGIN_EVENT_TABLE(CMainFrame, wxFrame)
    EVT_ICONIZE(CMainFrame::OnIconize)
    EVT_HELP(wxID_ANY, CMainFrame::OnHelp)
    EVT_MENU(wxID_HELP, CMainFrame::OnHelpKey)
    EVT_SET_FOCUS(CMainFrame::OnSetFocus)
wxEND_EVENT_TABLE()

namespace {
// The classic frame: 350 x 290 pixels at (175, 145), on screens larger than that.
constexpr int kClassicX = 175;
constexpr int kClassicY = 145;
constexpr int kClassicWidth = 350;
constexpr int kClassicHeight = 290;
}  // namespace

wxRealPoint CMainFrame::ClassicScale(wxWindow* window) { return ClassicDialogScale(window); }

bool CMainFrame::CreateFrame()
{
    if (!Create(nullptr, wxID_ANY, kAppName, wxDefaultPosition, wxDefaultSize, wxDEFAULT_FRAME_STYLE)) return false;

    wxIconBundle icons;
    for (const char* name : {"IDR_MAINFRAME_16", "IDR_MAINFRAME_32", "IDR_MAINFRAME_48", "IDR_MAINFRAME_128"}) {
        const wxBitmap bitmap = wxXmlResource::Get()->LoadBitmap(name);
        if (bitmap.IsOk()) {
            wxIcon icon;
            icon.CopyFromBitmap(bitmap);
            icons.AddIcon(icon);
        }
    }
    if (!icons.IsEmpty()) SetIcons(icons);

    // Placed before the view exists, so that the view's first size is the window's.
    PlaceFirstTime();
    m_wndView = new CKestrunView();
    if (!m_wndView->CreateView(this, wxID_ANY)) {
        wxLogDebug("Failed to create view window");
        return false;
    }
    if (m_widened) m_wndView->SetClassicWidth(m_classicClientWidth);
    if (!CreateCommandBar()) {
        wxLogDebug("Failed to create CommandBar");
        return false;
    }
    // Fixing the inner size (to what it is) makes the toolkit show the window at
    // once instead of waiting for the window manager to report its frame, a wait
    // during which it lays the bars out two pixels wide and complains on standard
    // error. The window manager's frame then comes around the size above.
    SetClientSize(GetClientSize());
    return true;
}

wxSize CMainFrame::FirstSize()
{
    const wxRealPoint scale = ClassicScale(this);
    wxSize size(static_cast<int>(kClassicWidth * scale.x), static_cast<int>(kClassicHeight * scale.y));
    // The classic window was made for a 240 x 320 screen and the classic font;
    // on a desktop it is widened until the six tab titles fit on one row.
    const int frameWidth = std::max(GetSize().x - GetClientSize().x, 0);
    const int tabsWidth = CKestrunView::TabRowWidth(this) + frameWidth;
    m_widened = tabsWidth > size.x;
    m_classicClientWidth = size.x - frameWidth;
    size.x = std::max(size.x, tabsWidth);
    return size;
}

void CMainFrame::PlaceFirstTime()
{
    const wxRealPoint scale = ClassicScale(this);
    const wxRect screen = wxDisplay(static_cast<unsigned>(0)).GetClientArea();
    const wxSize size = FirstSize();
    // Screens no larger than the window keep the toolkit's placement and size.
    if (screen.width <= size.x || screen.height <= size.y) {
        m_widened = false;
        return;
    }
    SetSize(static_cast<int>(kClassicX * scale.x), static_cast<int>(kClassicY * scale.y), size.x, size.y);
    // Keep this client size when the window manager adds its frame around it
    // (the toolkit learns its size only once the window is mapped).
    SetClientSize(GetClientSize());
}

bool CMainFrame::CreateCommandBar()
{
    wxMenuBar* menuBar = wxXmlResource::Get()->LoadMenuBar("IDR_MAINFRAME");
    if (menuBar == nullptr) return false;
    SetMenuBar(menuBar);

    wxToolBar* toolBar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
    if (toolBar == nullptr) return false;
    toolBar->SetToolBitmapSize(wxSize(16, 16));
    toolBar->AddTool(ID_VIEW_REFRESH, "Refresh", wxArtProvider::GetBitmap(wxART_REDO, wxART_TOOLBAR, wxSize(16, 16)),
                     "Refresh");
    toolBar->AddSeparator();
    toolBar->Realize();

    // F5 refreshes; F1 asks for the current tab's help, as the help key does everywhere.
    wxAcceleratorEntry entries[2];
    entries[0].Set(wxACCEL_NORMAL, WXK_F5, ID_VIEW_REFRESH);
    entries[1].Set(wxACCEL_NORMAL, WXK_F1, wxID_HELP);
    SetAcceleratorTable(wxAcceleratorTable(2, entries));
    return true;
}

bool CMainFrame::TryBefore(wxEvent& event)
{
    const wxEventType type = event.GetEventType();
    if (m_wndView != nullptr && (type == wxEVT_MENU || type == wxEVT_UPDATE_UI || type == wxEVT_TOOL)) {
        if (m_wndView->ProcessWindowEventLocally(event)) return true;
    }
    return wxFrame::TryBefore(event);
}

void CMainFrame::OnIconize(wxIconizeEvent& event)
{
    event.Skip();
    // Without any notification icon a hidden window could not be brought back
    // (no icon to click, no taskbar entry): it is minimised as usual then, and
    // the option keeps its value for when an icon is there again.
    if (!event.IsIconized() || !App().options().HideWhenMinimized) return;
    if (m_wndView != nullptr && m_wndView->TrayIconShown()) App().HideMainWindow();
}

void CMainFrame::OnHelp(wxHelpEvent&)
{
    if (m_wndView != nullptr) m_wndView->ShowTabHelp();
}

void CMainFrame::OnHelpKey(wxCommandEvent&)
{
    if (m_wndView != nullptr) m_wndView->ShowTabHelp();
}

void CMainFrame::OnSetFocus(wxFocusEvent&)
{
    if (m_wndView != nullptr) m_wndView->SetFocus();
}

}  // namespace kestrun
