// The System Performance tab page: CPU and memory load as two vertical gradient
// gauges with a scrolling history beside each, the thread and process counts and
// the program memory in kB. The view hands it the loads on every tick, whatever
// tab is shown, so the histories keep running while another page is visible.
#pragma once

#include "pages/PageBase.h"
#include "pages/core/SystemPage.h"

#include <wx/stattext.h>

namespace kestrun {

class CGradientProgressCtrl;
class CUsageHistoryCtrl;

class CSystemDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 137;

    explicit CSystemDlg(wxWindow* parent);
    // A page reading the counts and memory figures from the given platform
    // rather than the process-wide one.
    CSystemDlg(wxWindow* parent, platform::Platform* platform);

    bool OnShowPage() override;
    bool OnHidePage() override;

    // The loads of this tick: the gauges follow only while the page is shown,
    // both histories always.
    void SetUsage(int cpuPercent, int memoryPercent);

    CGradientProgressCtrl* cpuGauge() const { return m_cpuGauge; }
    CGradientProgressCtrl* memoryGauge() const { return m_memGauge; }
    CUsageHistoryCtrl* cpuHistory() const { return m_cpuHistory; }
    CUsageHistoryCtrl* memoryHistory() const { return m_memHistory; }

protected:
    void OnTimerTick(int timerId) override;
    void LayoutControls(int dx, int dy) override;

private:
    void Init(wxWindow* parent);
    // Puts a control where the template's placeholder of the same id was.
    template <typename Control>
    Control* ReplacePlaceholder(int id, long style);
    platform::Platform* Platform() const;
    void UpdateCounts();
    void UpdateMemory();
    void ShowFigures();

    platform::Platform* m_platform = nullptr;  // null: the process-wide one
    CGradientProgressCtrl* m_cpuGauge = nullptr;
    CGradientProgressCtrl* m_memGauge = nullptr;
    CUsageHistoryCtrl* m_cpuHistory = nullptr;
    CUsageHistoryCtrl* m_memHistory = nullptr;
    wxStaticText* m_threads = nullptr;
    wxStaticText* m_processes = nullptr;
    wxStaticText* m_totalMemory = nullptr;
    wxStaticText* m_availMemory = nullptr;
    SystemFigures m_figures;
};

}  // namespace kestrun
