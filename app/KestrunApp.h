// The application object: start-up, single instance, options, help, the
// commands that concern the program as a whole.
#pragma once

#include "pages/core/AppServices.h"
#include "pages/core/AppOptions.h"

#include <wx/app.h>
#include <wx/timer.h>

#include <memory>
#include <string>

namespace kestrun {

namespace platform { class InstanceLock; }
class CMainFrame;

class CKestrunApp : public wxApp, public AppServices {
public:
    CKestrunApp();
    ~CKestrunApp() override;

    bool OnInit() override;
    int OnExit() override;
    int FilterEvent(wxEvent& event) override;

    // Starts the help viewer on the help page at anchor ("#processes", or empty).
    // Returns false when it could not be started; never shows a message itself.
    bool ShowHelp(const std::wstring& anchor) override;
    [[nodiscard]] bool HelpAvailable();
    void RestoreMainWindow(bool activate) override;
    void HideMainWindow() override;
    void MinimizeMainWindow() override;
    void GoToProcess(uint32_t processId) override;

    AppOptions& options() override { return m_options; }
    [[nodiscard]] const std::wstring& helpFile() const { return m_strHelpFile; }
    CMainFrame* mainFrame() const { return m_frame; }

private:
    bool InitInstance();
    void ApplyTopMost();

    void OnAppAbout(wxCommandEvent& event);
    void OnHelpContents(wxCommandEvent& event);
    void OnAlwaysOnTop(wxCommandEvent& event);
    void OnHideWhenMinimized(wxCommandEvent& event);
    void OnMinimizeAfterSwitch(wxCommandEvent& event);
    void OnReboot(wxCommandEvent& event);
    void OnAppExit(wxCommandEvent& event);
    void OnUpdateHelpContents(wxUpdateUIEvent& event);
    void OnUpdateAlwaysOnTop(wxUpdateUIEvent& event);
    void OnUpdateHideWhenMinimized(wxUpdateUIEvent& event);
    void OnUpdateMinimizeAfterSwitch(wxUpdateUIEvent& event);

    static void OnTerminationSignal(int signal);
    void BeginShutdown();
    void OnShutdownTimer(wxTimerEvent& event);

    AppOptions m_options;
    std::wstring m_strHelpFile;
    std::unique_ptr<platform::InstanceLock> m_instanceLock;
    bool m_pastSingleInstanceCheck = false;
    CMainFrame* m_frame = nullptr;
    // While the program ends on a signal: closes the open boxes one by one, then the window.
    wxTimer m_shutdownTimer;
    bool m_shuttingDown = false;

    wxDECLARE_EVENT_TABLE();
};

wxDECLARE_APP(CKestrunApp);

// Makes the application object the toolkit runs (main() installs it before wxEntry).
wxApp* NewKestrunApp();

// No window of ours draws with OpenGL, yet GDK's X11 backend, when it picks its
// visuals on a display where no program has yet, loads the whole GL stack
// (Mesa's software rasteriser and LLVM: some 40 MB resident). Unless the user
// set GDK_GL, the toolkit is started with GL turned off (before wxEntry); once
// it runs, the setting is taken back (in OnInit) so that the programs we start
// do not inherit it.
void KeepGlOutOfToolkit();
void ToolkitStarted();

// True when this copy found another one running and handed over to it: it ends
// successfully without having opened a window.
bool HandedOverToFirstCopy();

}  // namespace kestrun
