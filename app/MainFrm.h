// The program's only top-level window: menu bar, command bar with the Refresh
// button, and the tab view filling the rest.
#pragma once

#include <wx/frame.h>

namespace kestrun {

class CKestrunView;

class CMainFrame : public wxFrame {
public:
    CMainFrame() = default;

    // Creates the window, its menu, command bar and view; false ends start-up.
    bool CreateFrame();

    CKestrunView* view() const { return m_wndView; }

    // The size the window opens at: the classic size in the desktop's dialog
    // units, wide enough for every tab title on one row.
    wxSize FirstSize();

    // Scale of the desktop's dialog units against the classic ones the fixed pixel
    // constants were made for.
    static wxRealPoint ClassicScale(wxWindow* window);

protected:
    // Every command and command-state request is offered to the view first.
    bool TryBefore(wxEvent& event) override;

private:
    bool CreateCommandBar();
    void PlaceFirstTime();
    void OnIconize(wxIconizeEvent& event);
    void OnHelp(wxHelpEvent& event);
    void OnHelpKey(wxCommandEvent& event);
    void OnSetFocus(wxFocusEvent& event);

    CKestrunView* m_wndView = nullptr;
    bool m_widened = false;       // opened wider than the classic width, for the tab titles
    int m_classicClientWidth = 0;  // the client width of the classic window

    wxDECLARE_EVENT_TABLE();
};

}  // namespace kestrun
