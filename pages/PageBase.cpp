#include "pages/PageBase.h"

#include <wx/xrc/xmlres.h>

namespace kestrun {

wxDEFINE_EVENT(EVT_PAGE_TIMER, wxCommandEvent);

bool CPageBase::CreatePage(wxWindow* parent, const wxString& templateName)
{
    const bool loaded = wxXmlResource::Get()->LoadPanel(this, parent, templateName);
    if (!loaded) Create(parent, wxID_ANY);
    Bind(EVT_PAGE_TIMER, &CPageBase::OnPageTimer, this);
    return loaded;
}

void CPageBase::Resize(int dx, int dy)
{
    if (m_resize.Accumulate(dx, dy)) LayoutControls(dx, dy);
}

void CPageBase::BeginShow()
{
    int dx = 0;
    int dy = 0;
    if (m_resize.Show(dx, dy)) LayoutControls(dx, dy);
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
    if (control == nullptr) return;
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
