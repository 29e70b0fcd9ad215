#include "pages/ProcessesDlg.h"

#include "display/DialogScale.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/utils.h>

namespace kestrun {

namespace {
enum : int {
    kIdcProcessList = 1000,
    kIdcThreads = 1001,
    kIdcDlls = 1006,
    kIdcEndProcess = 1007,
    kIdcMemory = 1009,
    kIdcShowLabel = 1087,
};
}  // namespace

CProcessesDlg::CProcessesDlg(wxWindow* parent)
{
    Init(parent, platform::IsInstalled() ? &platform::Current() : nullptr);
}

CProcessesDlg::CProcessesDlg(wxWindow* parent, platform::Platform* platform) { Init(parent, platform); }

CProcessesDlg::~CProcessesDlg()
{
    m_model.reset();  // every row record goes while the list still exists
}

void CProcessesDlg::Init(wxWindow* parent, platform::Platform* platform)
{
    CreatePage(parent, "IDD_PROCESSESDLG");
    m_list = wxDynamicCast(FindWindow(kIdcProcessList), wxListCtrl);
    if (m_list == nullptr)  // no template: the list still exists, so the page keeps working
        m_list = new wxListCtrl(this, kIdcProcessList, wxDefaultPosition, GetClientSize(),
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    m_threads = wxDynamicCast(FindWindow(kIdcThreads), wxCheckBox);
    m_dlls = wxDynamicCast(FindWindow(kIdcDlls), wxCheckBox);
    m_memory = wxDynamicCast(FindWindow(kIdcMemory), wxCheckBox);
    m_endProcess = wxDynamicCast(FindWindow(kIdcEndProcess), wxButton);
    m_showLabel = wxDynamicCast(FindWindow(kIdcShowLabel), wxStaticText);

    m_listView = std::make_unique<ListCtrlView>(m_list);
    if (platform != nullptr) {
        m_model = std::make_unique<ProcessesModel>(*platform, *m_listView);
        m_model->InsertColumns();
    }

    Bind(wxEVT_BUTTON, &CProcessesDlg::OnEndProcess, this, kIdcEndProcess);
    Bind(wxEVT_LIST_COL_CLICK, &CProcessesDlg::OnColumnClick, this, kIdcProcessList);
    Bind(wxEVT_LIST_ITEM_SELECTED, &CProcessesDlg::OnItemSelected, this, kIdcProcessList);
    Bind(wxEVT_LIST_ITEM_DESELECTED, &CProcessesDlg::OnItemDeselected, this, kIdcProcessList);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, &CProcessesDlg::OnItemActivated, this, kIdcProcessList);
}

bool CProcessesDlg::OnShowPage()
{
    m_applyingPending = true;
    BeginShow();
    m_applyingPending = false;
    RefreshList();
    if (m_model) m_model->SortIfOrdered();
    return true;
}

bool CProcessesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CProcessesDlg::OnTimerTick(int timerId)
{
    if (timerId == 2) {  // the Refresh command: a user-requested refresh
        wxBusyCursor wait;
        RefreshList();
        return;
    }
    RefreshList();
}

void CProcessesDlg::RefreshList()
{
    if (!m_model) return;
    m_model->Refresh();
}

void CProcessesDlg::LayoutControls(int dx, int dy)
{
    if (!m_applyingPending) Grow(this, dx, dy);
    Grow(m_list, dx, dy);
    for (wxWindow* control : std::initializer_list<wxWindow*>{m_showLabel, m_threads, m_dlls, m_memory, m_endProcess})
        MoveDown(control, dy);
}

void CProcessesDlg::SelectProcess(uint32_t processId)
{
    if (m_model) m_model->SelectWhenListed(processId);
}

bool CProcessesDlg::CanSetPriority() const { return m_model && m_model->CanSetPriority(IsPageShown()); }

int CProcessesDlg::GetPriority() const { return m_model ? m_model->GetPriority() : platform::kThreadPriorityError; }

void CProcessesDlg::SetPriority(int level)
{
    if (m_model) m_model->SetPriority(level);
}

void CProcessesDlg::OnEndProcess(wxCommandEvent&)
{
    if (m_model) m_model->EndProcess();
}

void CProcessesDlg::OnColumnClick(wxListEvent& event)
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->ClickHeader(event.GetColumn());
}

void CProcessesDlg::OnItemSelected(wxListEvent&)
{
    if (m_endProcess != nullptr) m_endProcess->Enable();
}

void CProcessesDlg::OnItemDeselected(wxListEvent&)
{
    if (m_endProcess != nullptr) m_endProcess->Disable();
}

// Double-click opens the executable's file properties once that dialog exists.
void CProcessesDlg::OnItemActivated(wxListEvent&) {}

}  // namespace kestrun
