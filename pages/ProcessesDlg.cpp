#include "pages/ProcessesDlg.h"

#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/HeapDlg.h"
#include "dialogs/ModulesDlg.h"
#include "dialogs/ThreadsDlg.h"
#include "dialogs/core/DetailModel.h"
#include "display/ControlFit.h"
#include "display/DialogScale.h"
#include "pages/core/Ticks.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <optional>

namespace kestrun {

namespace {
// Marks the page's own work on its list for the duration of a scope.
class ListWork {
public:
    explicit ListWork(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~ListWork() { flag_ = was_; }
    ListWork(const ListWork&) = delete;
    ListWork& operator=(const ListWork&) = delete;

private:
    bool& flag_;
    bool was_;
};

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
    // Open dialogs go with the page (they are its children) without calling it back.
    if (m_threadsDlg != nullptr) m_threadsDlg->ForgetOwner();
    if (m_modulesDlg != nullptr) m_modulesDlg->ForgetOwner();
    if (m_heapDlg != nullptr) m_heapDlg->ForgetOwner();
    m_model.reset();  // every row record goes while the list still exists
}

void CProcessesDlg::Init(wxWindow* parent, platform::Platform* platform)
{
    CreatePage(parent, "IDD_PROCESSESDLG");
    m_list = wxDynamicCast(FindWindow(kIdcProcessList), VirtualListCtrl);
    if (m_list == nullptr)  // no template: the list still exists, so the page keeps working
        m_list = new VirtualListCtrl(this, kIdcProcessList, wxDefaultPosition, GetClientSize(),
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    m_threads = wxDynamicCast(FindWindow(kIdcThreads), wxCheckBox);
    m_dlls = wxDynamicCast(FindWindow(kIdcDlls), wxCheckBox);
    m_memory = wxDynamicCast(FindWindow(kIdcMemory), wxCheckBox);
    m_endProcess = wxDynamicCast(FindWindow(kIdcEndProcess), wxButton);
    m_showLabel = wxDynamicCast(FindWindow(kIdcShowLabel), wxStaticText);
    WidenCheckBoxesToFit(this);

    m_platform = platform;
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
    Bind(wxEVT_CHECKBOX, &CProcessesDlg::OnThreadsBox, this, kIdcThreads);
    Bind(wxEVT_CHECKBOX, &CProcessesDlg::OnDllsBox, this, kIdcDlls);
    Bind(wxEVT_CHECKBOX, &CProcessesDlg::OnMemoryBox, this, kIdcMemory);
}

bool CProcessesDlg::OnShowPage()
{
    BeginShow();
    RefreshList();
    if (m_model) {
        const ListWork work(m_listWork);
        m_model->SortIfOrdered();
    }
    return true;
}

bool CProcessesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CProcessesDlg::OnTimerTick(int timerId)
{
    std::optional<wxBusyCursor> wait;
    if (timerId == kTickRefreshCommand) wait.emplace();  // a user-requested refresh
    RefreshList();
    // The same tick goes on to the open dialogs, which refresh inside this handler.
    for (CDetailDlg* dialog : std::initializer_list<CDetailDlg*>{m_modulesDlg, m_threadsDlg, m_heapDlg})
        if (dialog != nullptr) dialog->OnTimerMessage(timerId);
}

void CProcessesDlg::RefreshList()
{
    if (!m_model) return;
    {
        const ListWork work(m_listWork);
        m_model->Refresh();
    }
    // A row the refresh selected (Go to Process) is followed as a click would be.
    const ProcessRow* selected = m_model->Selected();
    if (selected != nullptr && selected->processId != m_followedProcess) FollowSelection(selected);
}

void CProcessesDlg::LayoutControls(int dx, int dy)
{
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
    const ListWork work(m_listWork);
    m_model->ClickHeader(event.GetColumn());
}

void CProcessesDlg::OnItemSelected(wxListEvent& event)
{
    if (m_endProcess != nullptr) m_endProcess->Enable();
    // While the page sorts, the control drops and restores the selection: the
    // process shown has not changed.
    if (m_listWork) return;
    FollowSelection(static_cast<const ProcessRow*>(m_list->RowData(static_cast<size_t>(event.GetIndex()))));
}

void CProcessesDlg::OnItemDeselected(wxListEvent&)
{
    if (m_endProcess != nullptr) m_endProcess->Disable();
    if (m_listWork) return;
    FollowSelection(nullptr);
}

void CProcessesDlg::ShowSelectedProcess(CDetailDlg& dialog, const ProcessRow* row)
{
    dialog.SetProcess(row != nullptr ? row->processId : 0, row != nullptr ? row->name : std::wstring(kNoProcessName));
}

void CProcessesDlg::ShowSelectedProcess(CHeapDlg& dialog, const ProcessRow* row)
{
    ShowSelectedProcess(static_cast<CDetailDlg&>(dialog), row);
    dialog.SetExpectedEntries(row != nullptr ? row->blocks : 0);
}

void CProcessesDlg::FollowSelection(const ProcessRow* row)
{
    m_followedProcess = row != nullptr ? row->processId : 0;
    // In the order Threads, Modules, Heap; each rebuilds inside this handler.
    if (m_threadsDlg != nullptr) {
        ShowSelectedProcess(*m_threadsDlg, row);
        m_threadsDlg->OnTimerMessage(kDetailTickRebuild);
    }
    if (m_modulesDlg != nullptr) {
        ShowSelectedProcess(*m_modulesDlg, row);
        m_modulesDlg->OnTimerMessage(kDetailTickRebuild);
    }
    if (m_heapDlg != nullptr) {
        ShowSelectedProcess(*m_heapDlg, row);
        m_heapDlg->OnTimerMessage(kDetailTickRebuild);
    }
}

// The box has already toggled itself: open the dialog, or ask the open one to close.
template <class Dialog>
void CProcessesDlg::ToggleDetail(Dialog*& open, wxCheckBox* box)
{
    wxBusyCursor wait;
    if (open != nullptr) {
        open->RequestClose();  // it calls back, and the page forgets it
        return;
    }
    auto* dialog = new Dialog(this, m_platform);
    if (!dialog->Create(this)) {
        dialog->Destroy();
        if (box != nullptr) box->SetValue(false);
        return;
    }
    // Before its first tick, which the new dialog has posted itself.
    const ProcessRow* row = m_model ? m_model->Selected() : nullptr;
    ShowSelectedProcess(*dialog, row);
    open = dialog;
    m_followedProcess = row != nullptr ? row->processId : 0;
    dialog->Show();
}

void CProcessesDlg::OnThreadsBox(wxCommandEvent&) { ToggleDetail(m_threadsDlg, m_threads); }

void CProcessesDlg::OnDllsBox(wxCommandEvent&) { ToggleDetail(m_modulesDlg, m_dlls); }

void CProcessesDlg::OnMemoryBox(wxCommandEvent&) { ToggleDetail(m_heapDlg, m_memory); }

void CProcessesDlg::ThreadsDialogClosed()
{
    m_threadsDlg = nullptr;
    if (m_threads != nullptr) m_threads->SetValue(false);
}

void CProcessesDlg::ModulesDialogClosed()
{
    m_modulesDlg = nullptr;
    if (m_dlls != nullptr) m_dlls->SetValue(false);
}

void CProcessesDlg::HeapDialogClosed()
{
    m_heapDlg = nullptr;
    if (m_memory != nullptr) m_memory->SetValue(false);
}

// Double-click: the file properties of the selected process's executable, from its Name and Path cells.
void CProcessesDlg::OnItemActivated(wxListEvent&)
{
    const long row = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row < 0 || m_platform == nullptr) return;
    CFilePropertiesDlg::Run(*m_platform, m_list->GetItemText(row, kColPath).ToStdWstring(),
                            m_list->GetItemText(row, kColName).ToStdWstring());
}

}  // namespace kestrun
