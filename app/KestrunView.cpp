#include "app/KestrunView.h"

#include "app/Ids.h"
#include "pages/core/AppServices.h"
#include "app/MainFrm.h"
#include "app/TrayIcon.h"
#include "app/core/CpuLoad.h"
#include "app/core/Help.h"
#include "dialogs/ModulesDlg.h"
#include "display/WxMessageBox.h"
#include "display/core/Format.h"
#include "display/core/MessageBox.h"
#include "pages/DevicesDlg.h"
#include "pages/NetworkDlg.h"
#include "pages/ProcessesDlg.h"
#include "pages/ServicesDlg.h"
#include "pages/SystemDlg.h"
#include "pages/TasksDlg.h"
#include "platform/Platform.h"

#include <gtk/gtk.h>

namespace kestrun {

wxBEGIN_EVENT_TABLE(CKestrunView, wxPanel)
    EVT_MENU(ID_VIEW_REFRESH, CKestrunView::OnRefresh)
    EVT_TOOL(ID_VIEW_REFRESH, CKestrunView::OnRefresh)
    EVT_MENU_RANGE(ID_SPEED_NORMAL, ID_SPEED_STOPPED, CKestrunView::OnSpeed)
    EVT_MENU(ID_VIEW_SELECTED_INTERFACE, CKestrunView::OnSelectedInterface)
    EVT_MENU(ID_OPTIONS_AUTO_SCALE, CKestrunView::OnAutoScale)
    EVT_MENU_RANGE(ID_PRIORITY_REALTIME, ID_PRIORITY_LOWEST, CKestrunView::OnSetPriority)
    EVT_UPDATE_UI(ID_VIEW_REFRESH, CKestrunView::OnUpdateRefresh)
    EVT_UPDATE_UI_RANGE(ID_SPEED_NORMAL, ID_SPEED_STOPPED, CKestrunView::OnUpdateSpeed)
    EVT_UPDATE_UI(ID_VIEW_SELECTED_INTERFACE, CKestrunView::OnUpdateSelectedInterface)
    EVT_UPDATE_UI(ID_OPTIONS_AUTO_SCALE, CKestrunView::OnUpdateAutoScale)
    EVT_UPDATE_UI_RANGE(ID_PRIORITY_REALTIME, ID_PRIORITY_LOWEST, CKestrunView::OnUpdateSetPriority)
    EVT_MENU(ID_TOOLS_SHOW_ALL_DLLS, CKestrunView::OnShowAllDlls)
    EVT_UPDATE_UI(ID_TOOLS_SHOW_ALL_DLLS, CKestrunView::OnUpdateShowAllDlls)
    EVT_TIMER(ID_UPDATE_TIMER, CKestrunView::OnTimer)
    EVT_SIZE(CKestrunView::OnSize)
wxEND_EVENT_TABLE()

CKestrunView::CKestrunView() : m_timer(this, ID_UPDATE_TIMER), m_timerState(*this) {}

CKestrunView::~CKestrunView()
{
    m_timer.Stop();
}

void CKestrunView::OnDestroy(wxWindowDestroyEvent& event)
{
    event.Skip();
    if (event.GetWindow() != this) return;
    m_timer.Stop();
    if (m_trayIcon) m_trayIcon->Destroy();
}

bool CKestrunView::CreateView(wxWindow* parent, int id)
{
    if (!Create(parent, id, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER)) return false;
    const wxRealPoint scale = CMainFrame::ClassicScale(this);
    m_sizeTracker = ViewSizeTracker(scale.x, scale.y);

    m_tabCtrl = new wxNotebook(this, IDC_TAB, wxPoint(0, 0), wxSize(0, 0), wxCLIP_SIBLINGS);

    // The pages in tab order; the tab index is the page index everywhere.
    m_pages = {
        m_tasks = new CTasksDlg(m_tabCtrl),
        m_processes = new CProcessesDlg(m_tabCtrl),
        m_services = new CServicesDlg(m_tabCtrl),
        m_devices = new CDevicesDlg(m_tabCtrl),
        m_system = new CSystemDlg(m_tabCtrl),
        m_network = new CNetworkDlg(m_tabCtrl),
    };
    for (int i = 0; i < kTabCount; ++i) m_tabCtrl->AddPage(m_pages[static_cast<size_t>(i)], Tab(i).title, false);
    m_tabCtrl->Bind(wxEVT_NOTEBOOK_PAGE_CHANGING, &CKestrunView::OnPageChanging, this);
    m_tabCtrl->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &CKestrunView::OnPageChanged, this);
    Bind(wxEVT_DESTROY, &CKestrunView::OnDestroy, this);

    // The CPU load icon in the notification area.
    m_cpuLoad = std::make_unique<CpuLoadMeter>(platform::Current());
    m_trayIcon = std::make_unique<CTrayIcon>([this] { return IsMainWindowShown(); },
                                             [] { App().HideMainWindow(); },
                                             [] { App().RestoreMainWindow(true); });
    m_trayIcon->Create();

    if (!m_timerState.Start()) ShowError(L"The update timer cannot be set.");
    return true;
}

void CKestrunView::SetClassicWidth(int width) { m_sizeTracker.SetClassicWidth(width); }

bool CKestrunView::Start(int intervalMs)
{
    if (!m_timer.Start(intervalMs)) return platform::Fail(EAGAIN);
    return true;
}

void CKestrunView::Stop() { m_timer.Stop(); }

int CKestrunView::CurrentTab() const { return m_tabCtrl != nullptr ? m_tabCtrl->GetSelection() : -1; }

bool CKestrunView::IsMainWindowShown() const
{
    const wxWindow* top = wxGetTopLevelParent(const_cast<CKestrunView*>(this));
    return IsShownOnScreen() && top != nullptr && !static_cast<const wxTopLevelWindow*>(top)->IsIconized();
}

int CKestrunView::TabRowWidth(wxWindow* parent)
{
    // A probe with the six titles, measured the way GTK lays them out: its notebook
    // scrolls tabs that do not fit; unscrolled, its width is the whole row's.
    auto* probe = new wxNotebook(parent, wxID_ANY, wxPoint(0, 0), wxSize(0, 0), wxCLIP_SIBLINGS);
    for (int i = 0; i < kTabCount; ++i) probe->AddPage(new wxPanel(probe), Tab(i).title, false);
    GtkNotebook* notebook = GTK_NOTEBOOK(probe->GetHandle());
    gtk_notebook_set_scrollable(notebook, FALSE);
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_width(GTK_WIDGET(notebook), &minimum, &natural);
    probe->Destroy();
    return minimum;
}

bool CKestrunView::TrayIconShown() const { return m_trayIcon != nullptr && m_trayIcon->IconShown(); }

// --- Refresh tick -------------------------------------------------------------

void CKestrunView::OnTimer(wxTimerEvent&)
{
    if (platform::DeviceTime* time = platform::Current().deviceTime()) time->BeginTick(++m_timerTicks);
    const unsigned load = m_cpuLoad->ComputeCpuLoad();
    m_lastCpuLoad = load;
    m_trayIcon->UpdateTrayIcon(load);
    RefreshTick(kTickUpdateTimer, load);
}

void CKestrunView::RefreshTick(int timerId, unsigned cpuPercent)
{
    const platform::MemoryStatus memory = platform::Current().kernel().GlobalMemoryStatus();
    m_system->SetUsage(static_cast<int>(cpuPercent), static_cast<int>(memory.memoryLoad));
    // While one of the program's boxes is open the page is not refreshed, so that a
    // failing refresh does not stack a new box on every tick.
    const int current = CurrentTab();
    if (current >= 0 && current < kTabCount && !IsMessageBoxShowing()) m_pages[static_cast<size_t>(current)]->PostTimer(timerId);
    if (current != kTabNetwork) m_network->UpdateHistory();
}

void CKestrunView::OnRefresh(wxCommandEvent&) { RefreshTick(kTickRefreshCommand, m_lastCpuLoad); }

void CKestrunView::OnUpdateRefresh(wxUpdateUIEvent& event) { event.Enable(true); }

// --- Update speed -------------------------------------------------------------

namespace {
UpdateSpeed SpeedOf(int commandId)
{
    switch (commandId) {
    case ID_SPEED_FAST: return UpdateSpeed::Fast;
    case ID_SPEED_SLOW: return UpdateSpeed::Slow;
    case ID_SPEED_STOPPED: return UpdateSpeed::Stopped;
    default: return UpdateSpeed::Normal;
    }
}
}  // namespace

void CKestrunView::OnSpeed(wxCommandEvent& event)
{
    if (!m_timerState.SetSpeed(SpeedOf(event.GetId()))) ShowError(L"The update timer cannot be set.");
}

void CKestrunView::OnUpdateSpeed(wxUpdateUIEvent& event)
{
    event.Enable(true);
    event.Check(m_timerState.interval() == static_cast<int>(SpeedOf(event.GetId())));
}

// --- Network and priority commands --------------------------------------------

void CKestrunView::OnSelectedInterface(wxCommandEvent&) { m_network->ToggleSelectedInterfaceOnly(); }

void CKestrunView::OnUpdateSelectedInterface(wxUpdateUIEvent& event)
{
    event.Enable(CurrentTab() == kTabNetwork);
    event.Check(m_network->m_selectedInterfaceOnly);
}

void CKestrunView::OnAutoScale(wxCommandEvent&)
{
    AppOptions& options = App().options();
    options.AutoScale = !options.AutoScale;
}

void CKestrunView::OnUpdateAutoScale(wxUpdateUIEvent& event)
{
    event.Enable(CurrentTab() == kTabNetwork);
    event.Check(App().options().AutoScale);
}

void CKestrunView::OnSetPriority(wxCommandEvent& event) { m_processes->SetPriority(event.GetId() - ID_PRIORITY_REALTIME); }

void CKestrunView::OnUpdateSetPriority(wxUpdateUIEvent& event)
{
    const bool can = m_processes->CanSetPriority();
    event.Enable(can);
    event.Check(can && m_processes->GetPriority() == event.GetId() - ID_PRIORITY_REALTIME);
}

// Every module of every process, in a modal Modules dialog of its own.
void CKestrunView::OnShowAllDlls(wxCommandEvent&)
{
    CModulesDlg dialog(nullptr, &platform::Current(), true);
    if (dialog.Create(nullptr)) dialog.ShowModal();  // no parent window
}

void CKestrunView::OnUpdateShowAllDlls(wxUpdateUIEvent& event) { event.Enable(true); }

// --- Pages ----------------------------------------------------------------------

void CKestrunView::SelectionChanging()
{
    const int i = CurrentTab();
    if (i >= 0 && i < kTabCount && m_shownPage == i) {
        m_pages[static_cast<size_t>(i)]->OnHidePage();
        m_shownPage = -1;
    }
}

void CKestrunView::SelectionChanged()
{
    const int i = CurrentTab();
    if (i < 0 || i >= kTabCount) return;
    CPageBase* page = m_pages[static_cast<size_t>(i)];
    page->Show();
    m_shownPage = i;
    page->OnShowPage();
    page->SetFocus();
}

void CKestrunView::OnPageChanging(wxBookCtrlEvent& event)
{
    SelectionChanging();
    event.Skip();
}

void CKestrunView::OnPageChanged(wxBookCtrlEvent& event)
{
    event.Skip();
    // Before the first accepted size no page is shown; that size shows the current one.
    if (m_sizeTracker.accepted()) SelectionChanged();
}

void CKestrunView::GoToProcess(uint32_t processId)
{
    m_processes->SelectProcess(processId);
    if (CurrentTab() == kTabProcesses) {
        SelectionChanging();
        SelectionChanged();
        return;
    }
    m_tabCtrl->SetSelection(kTabProcesses);  // runs the changing and changed steps
}

void CKestrunView::OnSize(wxSizeEvent& event)
{
    event.Skip();
    const wxSize client = GetClientSize();
    const wxWindow* top = wxGetTopLevelParent(this);
    const bool minimized = top != nullptr && static_cast<const wxTopLevelWindow*>(top)->IsIconized();
    const std::optional<SizeAction> action = m_sizeTracker.OnSize(minimized, client.x, client.y);
    if (!action) return;
    m_tabCtrl->SetSize(0, 0, client.x, client.y);
    if (action->first) {
        if (action->dx != 0 || action->dy != 0)
            for (CPageBase* page : m_pages) page->Resize(action->dx, action->dy);
        SelectionChanged();
        return;
    }
    for (CPageBase* page : m_pages) page->Resize(action->dx, action->dy);
}

// --- Help and keys --------------------------------------------------------------

void CKestrunView::ShowTabHelp()
{
    const int i = CurrentTab();
    const bool inRange = i >= 0 && i < kTabCount;
    if (App().ShowHelp(inRange ? Tab(i).anchor : L"")) return;
    if (inRange) MessageBox(Tab(i).description, kMbOk | kMbIconQuestion);
}

bool CKestrunView::PreTranslateKey(const wxKeyEvent& event)
{
    const int key = event.GetKeyCode();
    if (key == WXK_TAB && event.ControlDown()) {
        const int target = NextTab(CurrentTab(), static_cast<int>(m_tabCtrl->GetPageCount()), event.ShiftDown());
        if (target >= 0) m_tabCtrl->SetSelection(static_cast<size_t>(target));  // as if the tab were clicked
        return true;
    }
    return key == WXK_RETURN || key == WXK_NUMPAD_ENTER || key == WXK_ESCAPE;
}

}  // namespace kestrun
