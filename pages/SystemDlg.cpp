#include "pages/SystemDlg.h"

#include "display/GradientProgressCtrl.h"
#include "display/UsageHistoryCtrl.h"

#include <wx/gauge.h>

namespace kestrun {

namespace {
// Vertical, smooth, with a border.
constexpr long kGaugeStyle = long{wxGA_VERTICAL} | wxGA_SMOOTH | long{wxBORDER_SIMPLE};
}  // namespace

CSystemDlg::CSystemDlg(wxWindow* parent) { Init(parent); }

CSystemDlg::CSystemDlg(wxWindow* parent, platform::Platform* platform) : m_platform(platform) { Init(parent); }

void CSystemDlg::Init(wxWindow* parent)
{
    CreatePage(parent, "IDD_SYSTEMDLG");

    m_cpuGauge = ReplacePlaceholder<CGradientProgressCtrl>(kIdcCpuGauge, kGaugeStyle);
    m_memGauge = ReplacePlaceholder<CGradientProgressCtrl>(kIdcMemGauge, kGaugeStyle);
    m_cpuHistory = ReplacePlaceholder<CUsageHistoryCtrl>(kIdcCpuHistory, wxBORDER_SUNKEN);
    m_memHistory = ReplacePlaceholder<CUsageHistoryCtrl>(kIdcMemHistory, wxBORDER_SUNKEN);
    for (CGradientProgressCtrl* gauge : {m_cpuGauge, m_memGauge}) {
        gauge->SetStep(1);
        gauge->m_startColor = wxColour(0, 255, 0);
        gauge->m_endColor = wxColour(255, 0, 0);
        gauge->m_showPercent = true;
    }

    m_threads = wxDynamicCast(FindWindow(kIdcThreads), wxStaticText);
    m_processes = wxDynamicCast(FindWindow(kIdcProcesses), wxStaticText);
    m_totalMemory = wxDynamicCast(FindWindow(kIdcTotalMemory), wxStaticText);
    m_availMemory = wxDynamicCast(FindWindow(kIdcAvailMemory), wxStaticText);
}

template <typename Control>
Control* CSystemDlg::ReplacePlaceholder(int id, long style)
{
    // Without a template the control still exists, at the top left, so the page
    // keeps working.
    wxRect rect(wxPoint(0, 0), FromDIP(wxSize(50, 40)));
    // The template's "unknown" control is a container panel named after the id.
    if (wxWindow* placeholder = FindWindow(wxString::Format("%d_container", id))) {
        rect = placeholder->GetRect();
        placeholder->Destroy();
    }
    return new Control(this, id, rect.GetPosition(), rect.GetSize(), style);
}

platform::Platform* CSystemDlg::Platform() const
{
    if (m_platform != nullptr) return m_platform;
    return platform::IsInstalled() ? &platform::Current() : nullptr;
}

bool CSystemDlg::OnShowPage()
{
    BeginShow();
    UpdateMemory();
    UpdateCounts();
    ShowFigures();
    return true;
}

bool CSystemDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CSystemDlg::OnTimerTick(int)
{
    UpdateCounts();
    UpdateMemory();
    ShowFigures();
}

void CSystemDlg::SetUsage(int cpuPercent, int memoryPercent)
{
    if (IsPageShown()) {
        m_cpuGauge->SetPos(cpuPercent);
        m_memGauge->SetPos(memoryPercent);
    }
    m_cpuHistory->AddValue(cpuPercent);
    m_memHistory->AddValue(memoryPercent);
}

void CSystemDlg::UpdateCounts()
{
    if (platform::Platform* system = Platform()) m_figures.UpdateCounts(system->toolHelp());
}

void CSystemDlg::UpdateMemory()
{
    if (platform::Platform* system = Platform()) m_figures.UpdateMemory(system->kernel());
}

void CSystemDlg::ShowFigures()
{
    // SetLabel repaints only when the text changed.
    if (m_threads != nullptr) m_threads->SetLabel(m_figures.threads());
    if (m_processes != nullptr) m_processes->SetLabel(m_figures.processes());
    if (m_totalMemory != nullptr) m_totalMemory->SetLabel(m_figures.totalMemory());
    if (m_availMemory != nullptr) m_availMemory->SetLabel(m_figures.availMemory());
}

void CSystemDlg::LayoutControls(int dx, int dy)
{
    for (const EdgeShift& shift : SystemLayoutShifts(dx, dy)) {
        wxWindow* control = FindWindow(shift.id);
        if (control == nullptr) continue;
        const wxRect rect = control->GetRect();
        control->SetSize(rect.x + shift.left, rect.y + shift.top, rect.width + shift.right - shift.left,
                         rect.height + shift.bottom - shift.top, wxSIZE_ALLOW_MINUS_ONE);
        control->Refresh();
    }
}

}  // namespace kestrun
