// The tab view: six pages behind a tab control, the update timer that drives
// every refresh, the View and Tools commands, tab help and keyboard tab switching.
#pragma once

#include "app/core/ViewState.h"

#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/timer.h>

#include <array>
#include <cstdint>
#include <memory>

namespace kestrun {

class CPageBase;
class CTasksDlg;
class CProcessesDlg;
class CServicesDlg;
class CDevicesDlg;
class CSystemDlg;
class CNetworkDlg;
class CpuLoadMeter;
class CTrayIcon;

class CKestrunView : public wxPanel, private UpdateTimer {
public:
    CKestrunView();
    ~CKestrunView() override;

    bool CreateView(wxWindow* parent, int id);

    // Key-down filter for every window of the program: true consumes the key.
    bool PreTranslateKey(const wxKeyEvent& event);
    // Shows the Processes page with processId selected.
    void GoToProcess(uint32_t processId);
    // Help of the current tab, or its description when help cannot be shown.
    void ShowTabHelp();

    [[nodiscard]] int CurrentTab() const;
    [[nodiscard]] int UpdateInterval() const { return m_timerState.interval(); }
    CPageBase* Page(int index) const { return m_pages[static_cast<size_t>(index)]; }
    CTasksDlg* tasksPage() const { return m_tasks; }
    CProcessesDlg* processesPage() const { return m_processes; }
    CSystemDlg* systemPage() const { return m_system; }
    CNetworkDlg* networkPage() const { return m_network; }
    wxNotebook* tabControl() const { return m_tabCtrl; }
    // Whether the view and the frame around it are on screen.
    [[nodiscard]] bool IsMainWindowShown() const;
    // The window opened wider than its classic width: the pages grow by the
    // difference at the first size.
    void SetClassicWidth(int width);
    // The width a tab control on parent needs to show every tab title on one row.
    [[nodiscard]] static int TabRowWidth(wxWindow* parent);
    // Whether a notification icon is there to bring a hidden window back.
    [[nodiscard]] bool TrayIconShown() const;
    CTrayIcon* trayIcon() const { return m_trayIcon.get(); }

    // The refresh tick: memory load, the performance history, the visible page
    // and the network history. timerId 1 is the update timer, 2 the Refresh command.
    void RefreshTick(int timerId, unsigned cpuPercent);

private:
    // UpdateTimer
    bool Start(int intervalMs) override;
    void Stop() override;

    void SelectionChanging();
    void SelectionChanged();

    void OnTimer(wxTimerEvent& event);
    void OnDestroy(wxWindowDestroyEvent& event);
    void OnSize(wxSizeEvent& event);
    void OnPageChanging(wxBookCtrlEvent& event);
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnRefresh(wxCommandEvent& event);
    void OnSpeed(wxCommandEvent& event);
    void OnSelectedInterface(wxCommandEvent& event);
    void OnAutoScale(wxCommandEvent& event);
    void OnSetPriority(wxCommandEvent& event);
    void OnUpdateRefresh(wxUpdateUIEvent& event);
    void OnUpdateSpeed(wxUpdateUIEvent& event);
    void OnUpdateSelectedInterface(wxUpdateUIEvent& event);
    void OnUpdateAutoScale(wxUpdateUIEvent& event);
    void OnUpdateSetPriority(wxUpdateUIEvent& event);
    void OnShowAllDlls(wxCommandEvent& event);
    void OnUpdateShowAllDlls(wxUpdateUIEvent& event);

    wxNotebook* m_tabCtrl = nullptr;
    std::array<CPageBase*, 6> m_pages{};
    CTasksDlg* m_tasks = nullptr;
    CProcessesDlg* m_processes = nullptr;
    CServicesDlg* m_services = nullptr;
    CDevicesDlg* m_devices = nullptr;
    CSystemDlg* m_system = nullptr;
    CNetworkDlg* m_network = nullptr;

    std::unique_ptr<CpuLoadMeter> m_cpuLoad;
    std::unique_ptr<CTrayIcon> m_trayIcon;
    unsigned m_lastCpuLoad = 0;
    uint32_t m_timerTicks = 0;  // ticks of the update timer so far: a simulated device's timeline counts them

    wxTimer m_timer;
    UpdateTimerState m_timerState;
    ViewSizeTracker m_sizeTracker;
    int m_shownPage = -1;  // the page told it is shown

    wxDECLARE_EVENT_TABLE();
};

}  // namespace kestrun
