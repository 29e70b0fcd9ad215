#include "pages/TasksDlg.h"

#include "display/DialogScale.h"
#include "display/NativeWindow.h"
#include "pages/core/AppServices.h"
#include "pages/core/Ticks.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/icon.h>
#include <wx/listctrl.h>
#include <wx/settings.h>
#include <wx/time.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>

namespace kestrun {

namespace {

enum : int {
    kIdcTaskList = 1017,
    kIdcGoToProcess = 1018,
    kIdcSwitchTo = 1019,
    kIdcEndTask = 1020,
};

// Icon 141, the default task icon, at the list's small-icon size.
wxIcon DefaultTaskIcon(int side)
{
    wxBitmap bitmap = wxXmlResource::Get()->LoadBitmap(side > 16 ? "IDI_TASK_32" : "IDI_TASK_16");
    if (!bitmap.IsOk()) {  // no resources (a bare test): a plain square stands in
        wxImage plain(side, side);
        plain.SetRGB(wxRect(0, 0, side, side), 0x80, 0x80, 0x80);
        bitmap = wxBitmap(plain);
    }
    wxIcon icon;
    icon.CopyFromBitmap(bitmap);
    return icon;
}

// Waits while the toolkit goes on handling the window system's events, so that
// other programs asking this one (the clipboard, a manager's ping) are answered;
// our own windows take no input meanwhile.
void WaitHandlingEvents(int ms)
{
    wxWindowDisabler disabler;
    const wxLongLong end = wxGetLocalTimeMillis() + ms;
    while (wxGetLocalTimeMillis() < end) {
        if (wxTheApp != nullptr) wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
}

}  // namespace

CTasksDlg::CTasksDlg(wxWindow* parent) { Init(parent, platform::IsInstalled() ? &platform::Current() : nullptr); }

CTasksDlg::CTasksDlg(wxWindow* parent, platform::Platform* platform) { Init(parent, platform); }

CTasksDlg::~CTasksDlg()
{
    m_model.reset();  // every row record goes while the list still exists
}

void CTasksDlg::Init(wxWindow* parent, platform::Platform* platform)
{
    m_platform = platform;
    CreatePage(parent, "IDD_TASKSDLG");
    m_list = wxDynamicCast(FindWindow(kIdcTaskList), VirtualListCtrl);
    if (m_list == nullptr)  // no template: the list still exists, so the page keeps working
        m_list = new VirtualListCtrl(this, kIdcTaskList, wxDefaultPosition, GetClientSize(),
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);
    m_goToProcess = wxDynamicCast(FindWindow(kIdcGoToProcess), wxButton);
    m_switchTo = wxDynamicCast(FindWindow(kIdcSwitchTo), wxButton);
    m_endTask = wxDynamicCast(FindWindow(kIdcEndTask), wxButton);

    // Image 0 is the default task icon; the list's rows give theirs after it.
    m_listView = std::make_unique<ListCtrlView>(m_list);
    const int side = std::max(wxSystemSettings::GetMetric(wxSYS_SMALLICON_X, m_list), 16);
    m_listView->AddImage(DefaultTaskIcon(side));
    if (platform != nullptr) {
        TasksHost host;
        host.minimizeAfterSwitch = [] { return App().options().MinimizeAfterProgramSwitch; };
        host.minimizeOwnWindow = [] { App().MinimizeMainWindow(); };
        host.goToProcess = [](uint32_t pid) { App().GoToProcess(pid); };
        host.wait = WaitHandlingEvents;
        m_model = std::make_unique<TasksModel>(*platform, *m_listView, side, std::move(host));
        m_model->InsertColumns();
        FillColumn();
    }

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { GoToProcess(); }, kIdcGoToProcess);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { SwitchTo(); }, kIdcSwitchTo);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndTask(); }, kIdcEndTask);
    Bind(wxEVT_LIST_COL_CLICK, &CTasksDlg::OnColumnClick, this, kIdcTaskList);
    Bind(wxEVT_LIST_ITEM_SELECTED, &CTasksDlg::OnItemSelected, this, kIdcTaskList);
    Bind(wxEVT_LIST_ITEM_DESELECTED, &CTasksDlg::OnItemDeselected, this, kIdcTaskList);
    Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { SwitchTo(); }, kIdcTaskList);
    m_list->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        CallAfter([this] { FillColumn(); });  // once the list knows its new client size
    });
}

bool CTasksDlg::OnShowPage()
{
    BeginShow();
    RefreshList();
    return true;
}

bool CTasksDlg::OnHidePage()
{
    EndShow();
    // Hidden, the page watches no window: what it knew is read afresh when it is shown.
    if (m_platform != nullptr) m_platform->desktop().Forget();
    return true;
}

void CTasksDlg::OnTimerTick(int timerId)
{
    if (timerId == kTickRefreshCommand) {  // a user-requested refresh
        wxBusyCursor wait;
        RefreshList();
        return;
    }
    RefreshList();
}

void CTasksDlg::RefreshList()
{
    if (!m_model) return;
    // The program's own window is never a task. Its X window may be made only
    // after the page is first shown, so it is asked for at every refresh.
    if (m_platform != nullptr) m_platform->desktop().SetOwnMainWindow(NativeWindowId(wxGetTopLevelParent(this)));
    if (m_model->Refresh() && m_model->rowCount() == 0) EnableButtons(false);
}

void CTasksDlg::LayoutControls(int dx, int dy)
{
    Grow(m_list, dx, dy);
    for (wxWindow* button : std::initializer_list<wxWindow*>{m_switchTo, m_goToProcess, m_endTask}) MoveDown(button, dy);
    FillColumn();
}

// The one column, made 100 classic pixels wide, fills the list's width.
void CTasksDlg::FillColumn()
{
    if (m_list->GetColumnCount() == 0) return;
    m_list->SetColumnWidth(0, std::max(ScaleClassicWidth(m_list, 100), m_list->GetClientSize().x));
}

void CTasksDlg::EnableButtons(bool enable)
{
    for (wxButton* button : {m_switchTo, m_goToProcess, m_endTask})
        if (button != nullptr) button->Enable(enable);
}

void CTasksDlg::SwitchTo()
{
    if (m_model) m_model->SwitchTo();
}

void CTasksDlg::GoToProcess()
{
    if (m_model) m_model->GoToProcess();
}

void CTasksDlg::EndTask()
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->EndTask();
}

void CTasksDlg::OnColumnClick(wxListEvent& event)
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->ClickHeader(event.GetColumn());
}

void CTasksDlg::OnItemSelected(wxListEvent&) { EnableButtons(true); }

void CTasksDlg::OnItemDeselected(wxListEvent&) { EnableButtons(false); }

}  // namespace kestrun
