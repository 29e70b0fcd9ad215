#include "dialogs/DetailDlg.h"

#include "dialogs/DetailDialogOwner.h"
#include "display/ControlFit.h"
#include "display/DialogScale.h"
#include "display/core/MessageBox.h"
#include "pages/core/AppServices.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <cmath>

namespace kestrun {

namespace {
enum : int {
    kIdcRefresh = 1080,
    kIdcAutoRefresh = 1094,
};
}  // namespace

CDetailDlg::CDetailDlg(DetailDialogOwner* owner, platform::Platform* platform, const DetailDialogInfo& info)
    : m_owner(owner), m_platform(platform), m_info(info), m_size(info.minimumHeight)
{
}

CDetailDlg::~CDetailDlg()
{
    m_model.reset();  // every row record goes while the list still exists
}

bool CDetailDlg::CreateDetail(wxWindow* parent, int listId, const std::vector<int>& below, const std::vector<int>& valueBoxes)
{
    if (!wxXmlResource::Get()->LoadDialog(this, parent, m_info.templateName)) return false;
    // The template's size is the client area's, as the dialog units lay it out.
    SetClientSize(GetSize());
    WidenCheckBoxesToFit(this);

    m_list = wxDynamicCast(FindWindow(listId), VirtualListCtrl);
    m_refresh = wxDynamicCast(FindWindow(kIdcRefresh), wxButton);
    m_autoRefresh = wxDynamicCast(FindWindow(kIdcAutoRefresh), wxCheckBox);
    for (int id : below)
        if (wxWindow* control = FindWindow(id)) m_below.push_back(control);
    for (int id : valueBoxes)
        if (auto* box = wxDynamicCast(FindWindow(id), wxTextCtrl)) m_values[id] = box;
    if (m_list == nullptr) return false;

    m_listView = std::make_unique<ListCtrlView>(m_list);
    if (m_platform != nullptr) {
        m_model = MakeModel(*m_platform, *m_listView, *this);
        m_model->InsertColumns();
    }

    Bind(wxEVT_BUTTON, &CDetailDlg::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CDetailDlg::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_MENU, &CDetailDlg::OnOk, this, wxID_OK);
    Bind(wxEVT_MENU, &CDetailDlg::OnCancel, this, wxID_CANCEL);
    Bind(wxEVT_MENU, &CDetailDlg::OnHelpKey, this, wxID_HELP);
    Bind(wxEVT_CLOSE_WINDOW, &CDetailDlg::OnClose, this);
    Bind(wxEVT_BUTTON, &CDetailDlg::OnRefreshButton, this, kIdcRefresh);
    Bind(wxEVT_HELP, &CDetailDlg::OnHelp, this);
    Bind(wxEVT_CHAR_HOOK, &CDetailDlg::OnCharHook, this);
    Bind(wxEVT_LIST_KEY_DOWN, &CDetailDlg::OnListKeyDown, this, listId);
    Bind(wxEVT_LIST_COL_CLICK, &CDetailDlg::OnColumnClick, this, listId);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, &CDetailDlg::OnItemActivated, this, listId);
    Bind(wxEVT_SIZE, &CDetailDlg::OnSize, this);

    // Centred on the screen; the size the controls were laid out for is the first one.
    CentreOnScreen();
    const wxRealPoint scale = ClassicDialogScale(this);
    m_size = DetailSize(static_cast<int>(std::lround(m_info.minimumHeight * scale.y)));
    const wxSize client = GetClientSize();
    m_size.OnSize(client.x, client.y);

    if (m_info.refreshAtOnce) {
        OnTimerMessage(kDetailTickRebuild);
        return true;
    }
    // The list is first filled from the event queue, once the dialog is shown.
    CallAfter([this] {
        if (!IsBeingDeleted() && !m_closing) OnTimerMessage(kDetailTickRebuild);
    });
    return true;
}

void CDetailDlg::OnTimerMessage(int timerId)
{
    if (m_model && !m_closing) m_model->OnTimer(timerId);
}

void CDetailDlg::SetProcess(uint32_t processId, const std::wstring& name)
{
    if (m_model) m_model->SetProcess(processId, name);
}

// --- DetailControls -----------------------------------------------------------

void CDetailDlg::SetCaption(const std::wstring& title) { SetTitle(title); }

bool CDetailDlg::AutoRefreshChecked() const { return m_autoRefresh != nullptr && m_autoRefresh->GetValue(); }

void CDetailDlg::AllowAutoRefresh(bool allowed)
{
    if (m_autoRefresh == nullptr) return;
    if (!allowed) m_autoRefresh->SetValue(false);
    m_autoRefresh->Enable(allowed);
}

void CDetailDlg::SetValueText(int control, const std::wstring& text)
{
    const auto it = m_values.find(control);
    if (it != m_values.end()) it->second->ChangeValue(text);
}

void CDetailDlg::SuspendListRedraw(bool suspend)
{
    if (suspend) {
        ++m_redrawSuspended;
        m_list->Freeze();
    } else if (m_redrawSuspended > 0) {
        --m_redrawSuspended;
        m_list->Thaw();
    }
}

// --- Commands -----------------------------------------------------------------

void CDetailDlg::CloseDetail()
{
    if (IsModal()) {
        EndModal(wxID_CANCEL);  // its creator owns it
        return;
    }
    if (m_closing) return;
    m_closing = true;
    if (m_owner != nullptr) NotifyClosed(*m_owner);  // the page forgets the dialog and unchecks its box
    Destroy();  // the object goes after its window
}

long CDetailDlg::SelectedRow() const
{
    return m_list != nullptr ? m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED) : -1;
}

// Threads and heap entries name no file: a double click there does nothing.
void CDetailDlg::OnRowActivated(long) {}

void CDetailDlg::OnItemActivated(wxListEvent&)
{
    const long row = SelectedRow();
    if (row >= 0) OnRowActivated(row);
}

void CDetailDlg::OnOk(wxCommandEvent&) { CloseDetail(); }

void CDetailDlg::OnCancel(wxCommandEvent&) { CloseDetail(); }

// The caption's close button and the page's close request end as Cancel does.
void CDetailDlg::OnClose(wxCloseEvent&) { CloseDetail(); }

void CDetailDlg::RefreshWithWaitCursor()
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->Refresh(RefreshMode::kUpdate);
}

void CDetailDlg::OnRefreshButton(wxCommandEvent&) { RefreshWithWaitCursor(); }

void CDetailDlg::OnListKeyDown(wxListEvent& event)
{
    event.Skip();  // every key goes on to the list
    if (event.GetKeyCode() == WXK_F5) RefreshWithWaitCursor();
}

void CDetailDlg::OnColumnClick(wxListEvent& event)
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->ClickHeader(event.GetColumn());
}

void CDetailDlg::OnCharHook(wxKeyEvent& event)
{
    const bool plain = !event.HasAnyModifiers();
    if (plain && event.GetKeyCode() == WXK_ESCAPE) {
        CloseDetail();  // Escape is Cancel
        return;
    }
    if (plain && event.GetKeyCode() == WXK_F1) {
        ShowDetailHelp();
        return;
    }
    event.Skip();
}

// --- Help -------------------------------------------------------------------------

void CDetailDlg::ShowDetailHelp()
{
    if (App().ShowHelp(m_info.anchor)) return;
    MessageBox(m_info.description, kMbOk | kMbIconQuestion);
}

void CDetailDlg::OnHelpKey(wxCommandEvent&) { ShowDetailHelp(); }

void CDetailDlg::OnHelp(wxHelpEvent&) { ShowDetailHelp(); }

// --- Size ---------------------------------------------------------------------------

void CDetailDlg::OnSize(wxSizeEvent& event)
{
    event.Skip();
    const wxSize client = GetClientSize();
    const std::optional<SizeChange> change = m_size.OnSize(client.x, client.y);
    if (!change || m_list == nullptr) return;
    const wxSize list = m_list->GetSize();
    m_list->SetSize(wxSize(list.x + change->dx, list.y + change->dy));
    m_list->Refresh();
    for (wxWindow* control : m_below) {
        const wxPoint pos = control->GetPosition();
        control->Move(pos.x, pos.y + change->dy);
        control->Refresh();
    }
}

}  // namespace kestrun
