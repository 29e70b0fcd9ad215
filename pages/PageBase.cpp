#include "pages/PageBase.h"

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <optional>

namespace kestrun {

wxDEFINE_EVENT(EVT_PAGE_TIMER, wxCommandEvent);

bool CPageBase::CreatePage(wxWindow* parent, const wxString& templateName)
{
    const bool loaded = wxXmlResource::Get()->LoadPanel(this, parent, templateName);
    if (!loaded) Create(parent, wxID_ANY);
    // A check box or radio button smaller than its box and label cuts the label
    // and makes the toolkit complain at every layout: give it the room it needs.
    for (wxWindow* control : GetChildren()) {
        if (dynamic_cast<wxCheckBox*>(control) == nullptr && dynamic_cast<wxRadioButton*>(control) == nullptr) continue;
        const wxSize best = control->GetBestSize();
        const wxSize size = control->GetSize();
        if (size.x < best.x || size.y < best.y) control->SetSize(wxSize(std::max(size.x, best.x), std::max(size.y, best.y)));
    }
    // The template's controls are placed for the template's size.
    const wxSize size = GetClientSize();
    m_resize.SetLayoutSize(size.x, size.y);
    Bind(EVT_PAGE_TIMER, &CPageBase::OnPageTimer, this);
    Bind(wxEVT_SIZE, &CPageBase::OnPageSize, this);
    return loaded;
}

void CPageBase::Resize(int dx, int dy)
{
    // The tab control may give the page its new size only later, with a size
    // event of the page's own, which lays the controls out then.
    if (m_resize.Accumulate(dx, dy)) FollowSize();
}

void CPageBase::BeginShow()
{
    const wxSize size = GetClientSize();
    if (const std::optional<LayoutDelta> delta = m_resize.Show(size.x, size.y)) LayoutControls(delta->dx, delta->dy);
}

void CPageBase::FollowSize()
{
    const wxSize size = GetClientSize();
    if (const std::optional<LayoutDelta> delta = m_resize.Follow(size.x, size.y)) LayoutControls(delta->dx, delta->dy);
}

void CPageBase::OnPageSize(wxSizeEvent& event)
{
    event.Skip();
    FollowSize();  // hidden pages wait until they are shown
}

void CPageBase::PostTimer(int timerId)
{
    auto* event = new wxCommandEvent(EVT_PAGE_TIMER);
    event->SetInt(timerId);
    QueueEvent(event);
}

void CPageBase::LayoutControls(int, int) {}

void CPageBase::Grow(wxWindow* control, int dx, int dy)
{
    if (control == nullptr || control == this) return;
    const wxSize size = control->GetSize();
    control->SetSize(wxSize(size.x + dx, size.y + dy));
    control->Refresh();
}

void CPageBase::MoveDown(wxWindow* control, int dy)
{
    if (control == nullptr) return;
    const wxPoint pos = control->GetPosition();
    control->Move(pos.x, pos.y + dy);
    control->Refresh();
}

void CPageBase::OnPageTimer(wxCommandEvent& event)
{
    OnTimerTick(event.GetInt());
}

}  // namespace kestrun
