#include "app/AboutDlg.h"

#include "platform/Types.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>

namespace kestrun {

std::wstring AboutVersionLine()
{
    return platform::Widen(KESTRUN_NAME " Task Manager Version " KESTRUN_VERSION);
}

bool CAboutDlg::Create(wxWindow* parent)
{
    if (!wxXmlResource::Get()->LoadDialog(this, parent, "IDD_ABOUTBOX")) return false;
    if (auto* version = wxDynamicCast(FindWindow("IDC_ABOUT_VERSION"), wxStaticText)) version->SetLabel(AboutVersionLine());
    LayOut();
    Bind(wxEVT_CHAR_HOOK, &CAboutDlg::OnCharHook, this);
    return true;
}

bool CAboutDlg::Owns(wxWindow* window)
{
    return window != nullptr && dynamic_cast<CAboutDlg*>(wxGetTopLevelParent(window)) != nullptr;
}

void CAboutDlg::LayOut()
{
    // The template's places, in dialog units: lines from (40, 10) down, a margin
    // of 7 around everything, the button 45 x 12 at the right.
    const wxSize margin = ConvertDialogToPixels(wxSize(7, 7));
    const wxSize gap = ConvertDialogToPixels(wxSize(4, 4));
    int right = 0;
    int bottom = 0;
    for (const char* name : {"IDC_ABOUT_VERSION", "IDC_ABOUT_PUBLISHER", "IDC_ABOUT_LICENSE"}) {
        wxWindow* line = FindWindow(name);
        if (line == nullptr) continue;
        const wxPoint at(line->GetPosition().x, std::max(line->GetPosition().y, bottom == 0 ? 0 : bottom + gap.y));
        const wxSize size(std::max(line->GetSize().x, line->GetBestSize().x), std::max(line->GetSize().y, line->GetBestSize().y));
        line->SetSize(wxRect(at, size));
        right = std::max(right, at.x + size.x);
        bottom = at.y + size.y;
    }
    if (wxWindow* icon = FindWindow("IDC_ABOUT_ICON")) bottom = std::max(bottom, icon->GetRect().GetBottom() + 1);
    wxSize client(right + margin.x, bottom + margin.y);
    if (auto* ok = wxDynamicCast(FindWindow(wxID_OK), wxButton)) {
        const wxSize size(std::max(ok->GetSize().x, ok->GetBestSize().x), std::max(ok->GetSize().y, ok->GetBestSize().y));
        client.x = std::max(client.x, size.x + 2 * margin.x);
        const wxPoint at(client.x - margin.x - size.x, bottom + gap.y * 2);
        ok->SetSize(wxRect(at, size));
        client.y = at.y + size.y + margin.y;
    }
    SetClientSize(client);
}

void CAboutDlg::OnCharHook(wxKeyEvent& event)
{
    const int key = event.GetKeyCode();
    if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER || key == WXK_ESCAPE) {
        EndModal(key == WXK_ESCAPE ? wxID_CANCEL : wxID_OK);
        return;
    }
    event.Skip();
}

}  // namespace kestrun
