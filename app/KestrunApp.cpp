#include "app/KestrunApp.h"

#include "app/AboutDlg.h"
#include "app/Ids.h"
#include "app/KestrunView.h"
#include "app/MainFrm.h"
#include "app/ModalBoxes.h"
#include "app/OutsideShow.h"
#include "app/core/Help.h"
#include "display/WxMessageBox.h"
#include "display/core/MessageBox.h"
#include "platform/Notice.h"
#include "platform/Platform.h"
#include "platform/Types.h"
#include "platform/gtk/DesktopEntryIcons.h"

#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/xrc/xmlres.h>

#include <csignal>
#include <cstdlib>

void InitXmlResource();  // generated from the XRC files

namespace kestrun {

namespace {
bool g_handedOver = false;
constexpr int kShutdownTimerId = 1;
constexpr int kShutdownStepMs = 20;  // between closing one box and looking for the next
}  // namespace

bool HandedOverToFirstCopy() { return g_handedOver; }

namespace {
bool g_glTurnedOff = false;  // GDK_GL was ours to set
}  // namespace

void KeepGlOutOfToolkit()
{
    if (std::getenv("GDK_GL") != nullptr) return;  // the user's own choice
    g_glTurnedOff = ::setenv("GDK_GL", "disable", 0) == 0;
}

void ToolkitStarted()
{
    if (g_glTurnedOff) ::unsetenv("GDK_GL");  // GDK read it when it started
    g_glTurnedOff = false;
}

wxBEGIN_EVENT_TABLE(CKestrunApp, wxApp)
    EVT_MENU(ID_APP_ABOUT, CKestrunApp::OnAppAbout)
    EVT_MENU(ID_HELP_CONTENTS, CKestrunApp::OnHelpContents)
    EVT_MENU(ID_OPTIONS_ALWAYS_ON_TOP, CKestrunApp::OnAlwaysOnTop)
    EVT_MENU(ID_OPTIONS_HIDE_WHEN_MINIMIZED, CKestrunApp::OnHideWhenMinimized)
    EVT_MENU(ID_OPTIONS_MINIMIZE_AFTER_SWITCH, CKestrunApp::OnMinimizeAfterSwitch)
    EVT_MENU(ID_TOOLS_REBOOT, CKestrunApp::OnReboot)
    EVT_MENU(ID_APP_EXIT, CKestrunApp::OnAppExit)
    EVT_UPDATE_UI(ID_HELP_CONTENTS, CKestrunApp::OnUpdateHelpContents)
    EVT_UPDATE_UI(ID_OPTIONS_ALWAYS_ON_TOP, CKestrunApp::OnUpdateAlwaysOnTop)
    EVT_UPDATE_UI(ID_OPTIONS_HIDE_WHEN_MINIMIZED, CKestrunApp::OnUpdateHideWhenMinimized)
    EVT_UPDATE_UI(ID_OPTIONS_MINIMIZE_AFTER_SWITCH, CKestrunApp::OnUpdateMinimizeAfterSwitch)
    EVT_TIMER(kShutdownTimerId, CKestrunApp::OnShutdownTimer)
wxEND_EVENT_TABLE()

CKestrunApp::CKestrunApp() : m_shutdownTimer(this, kShutdownTimerId)
{
    // The windows' WM_CLASS is ("kestrun", the display name): the desktop entry's
    // StartupWMClass names it, so that docks match the window to its launcher.
    SetAppName("kestrun");
    SetAppDisplayName(kAppName);
    SetAppServices(this);
}

CKestrunApp::~CKestrunApp() { SetAppServices(nullptr); }

bool CKestrunApp::OnInit()
{
    ToolkitStarted();
    // The command line was handled before wx started; wx must not parse it again.
    return InitInstance();
}

bool CKestrunApp::InitInstance()
{
    platform::Platform& system = platform::Current();

    // Single instance: a second copy shows and raises the first copy's window and ends
    // without touching the options.
    platform::InstanceLockResult guard = system.kernel().CreateInstanceLock(kAppName);
    if (guard.alreadyExists) {
        if (const auto window = system.desktop().FindWindowByTitle(kAppName)) {
            system.desktop().ShowWindow(*window, platform::ShowCommand::ShowNormal);
            system.desktop().SetForeground(*window);
        }
        g_handedOver = true;
        return false;
    }
    m_instanceLock = std::move(guard.lock);  // held until the process ends
    m_pastSingleInstanceCheck = true;
    // A desktop session that ends, or a kill request, closes the window as File > Exit
    // does, whatever box is open; from here on the options are written at exit.
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) SetSignalHandler(sig, &CKestrunApp::OnTerminationSignal);

    m_options = AppOptions::Load(system.registry());

    // Toolkit diagnostics go to standard error, not to modal boxes.
    delete wxLog::SetActiveTarget(new wxLogStderr());
    wxInitAllImageHandlers();
    wxXmlResource::Get()->InitAllHandlers();
    InitXmlResource();
    InstallWxMessageBoxHandler();
    // Lists show a program's file icon from its desktop entry, through the toolkit's icon theme.
    platform::InstallFileIconSource(std::make_unique<platform::DesktopEntryIcons>());

    m_frame = new CMainFrame();
    if (!m_frame->CreateFrame()) {
        m_frame->Destroy();
        m_frame = nullptr;
        return false;
    }
    SetTopWindow(m_frame);

    if (const auto module = system.kernel().OwnModuleFileName()) m_strHelpFile = HelpFileFor(*module);

    m_frame->Show(true);
    m_frame->Update();
    WatchForOutsideShow(m_frame, [this] { RestoreMainWindow(true); });
    if (m_options.AlwaysOnTop) ApplyTopMost();

    // A refusal (no right to raise priorities) is not an error worth a word.
    system.kernel().SetCurrentThreadPriority(platform::kThreadPriorityHighest);
    return true;
}

int CKestrunApp::OnExit()
{
    if (m_pastSingleInstanceCheck && !m_options.Save(platform::Current().registry()))
        platform::Notify("the options cannot be saved: " +
                         platform::Narrow(platform::SystemErrorText(platform::GetLastError())));
    return wxApp::OnExit();
}

// Called from the toolkit's loop (never inside the signal itself), which may be
// the nested loop of a modal box.
void CKestrunApp::OnTerminationSignal(int) { wxGetApp().BeginShutdown(); }

void CKestrunApp::BeginShutdown()
{
    if (m_shuttingDown) return;
    m_shuttingDown = true;
    // No new box opens from here on: its text goes to standard error with the
    // safe answer (No, Cancel).
    SetMessageBoxHandler({});
    m_shutdownTimer.Start(kShutdownStepMs);
    wxTimerEvent now(m_shutdownTimer);
    OnShutdownTimer(now);
}

void CKestrunApp::OnShutdownTimer(wxTimerEvent&)
{
    // Each open box gets its safe answer, the innermost first. The window closes
    // only once every box has returned to the code that opened it and the main
    // loop runs again: destroying it under a box would pull the box's owner away
    // while its handler is still running.
    if (EndInnermostModalBox()) return;
    const wxEventLoopBase* active = wxEventLoopBase::GetActive();
    if (IsMessageBoxShowing() || (active != nullptr && !active->IsMain())) return;
    m_shutdownTimer.Stop();
    if (m_frame != nullptr)
        m_frame->Close(true);  // as File > Exit: the loop ends and OnExit writes the options
    else
        ExitMainLoop();
}

int CKestrunApp::FilterEvent(wxEvent& event)
{
    if (event.GetEventType() == wxEVT_KEY_DOWN && m_frame != nullptr && m_frame->view() != nullptr) {
        // The About box closes on Return and Escape, as a message box does.
        if (CAboutDlg::Owns(dynamic_cast<wxWindow*>(event.GetEventObject()))) return Event_Skip;
        if (m_frame->view()->PreTranslateKey(static_cast<wxKeyEvent&>(event))) return Event_Processed;
    }
    return Event_Skip;
}

bool CKestrunApp::HelpAvailable()
{
    platform::Shell& shell = platform::Current().shell();
    return shell.HelpViewerAvailable() && !m_strHelpFile.empty() && shell.GetFileInfo(m_strHelpFile).has_value();
}

bool CKestrunApp::ShowHelp(const std::wstring& anchor)
{
    if (!HelpAvailable()) return false;
    return platform::Current().shell().StartHelpViewer(m_strHelpFile, anchor);
}

void CKestrunApp::ApplyTopMost()
{
    if (m_frame == nullptr) return;
    long style = m_frame->GetWindowStyleFlag();
    style = m_options.AlwaysOnTop ? (style | wxSTAY_ON_TOP) : (style & ~wxSTAY_ON_TOP);
    m_frame->SetWindowStyleFlag(style);
}

void CKestrunApp::RestoreMainWindow(bool activate)
{
    if (m_frame == nullptr) return;
    m_frame->Show(true);
    m_frame->Iconize(false);
    ApplyTopMost();
    if (activate) m_frame->Raise();
}

void CKestrunApp::HideMainWindow()
{
    if (m_frame == nullptr) return;
    m_frame->Hide();
    m_frame->Lower();
}

void CKestrunApp::MinimizeMainWindow()
{
    if (m_frame != nullptr) m_frame->Iconize(true);
}

void CKestrunApp::GoToProcess(uint32_t processId)
{
    if (m_frame != nullptr && m_frame->view() != nullptr) m_frame->view()->GoToProcess(processId);
}

void CKestrunApp::OnAppAbout(wxCommandEvent&)
{
    CAboutDlg dialog;
    if (dialog.Create(m_frame)) {
        dialog.CentreOnParent();
        dialog.ShowModal();
    }
}

void CKestrunApp::OnHelpContents(wxCommandEvent&) { ShowHelp(std::wstring()); }

void CKestrunApp::OnAlwaysOnTop(wxCommandEvent&)
{
    m_options.AlwaysOnTop = !m_options.AlwaysOnTop;
    if (m_frame != nullptr) {
        m_frame->Show(true);  // a hidden window comes back before its z-order changes
        m_frame->Iconize(false);
    }
    ApplyTopMost();
}

void CKestrunApp::OnHideWhenMinimized(wxCommandEvent&) { m_options.HideWhenMinimized = !m_options.HideWhenMinimized; }

void CKestrunApp::OnMinimizeAfterSwitch(wxCommandEvent&)
{
    m_options.MinimizeAfterProgramSwitch = !m_options.MinimizeAfterProgramSwitch;
}

void CKestrunApp::OnReboot(wxCommandEvent&)
{
    if (MessageBox(L"Are you sure you want to reboot the system?", kMbOkCancel) != kIdOk) return;
    platform::Current().kernel().Reboot();  // a refusal is not reported
}

void CKestrunApp::OnAppExit(wxCommandEvent&)
{
    if (m_frame != nullptr) m_frame->Close();
}

void CKestrunApp::OnUpdateHelpContents(wxUpdateUIEvent& event) { event.Enable(HelpAvailable()); }

void CKestrunApp::OnUpdateAlwaysOnTop(wxUpdateUIEvent& event)
{
    event.Enable(true);
    event.Check(m_options.AlwaysOnTop);
}

void CKestrunApp::OnUpdateHideWhenMinimized(wxUpdateUIEvent& event) { event.Check(m_options.HideWhenMinimized); }

void CKestrunApp::OnUpdateMinimizeAfterSwitch(wxUpdateUIEvent& event)
{
    event.Check(m_options.MinimizeAfterProgramSwitch);
}

wxIMPLEMENT_APP_NO_MAIN(CKestrunApp);

wxApp* NewKestrunApp() { return new CKestrunApp(); }

}  // namespace kestrun
