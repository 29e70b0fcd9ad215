#include "pages/NetworkDlg.h"

#include "display/DialogScale.h"
#include "display/UsageHistoryCtrl.h"
#include "pages/core/AppServices.h"

#include <wx/listctrl.h>
#include <wx/statbox.h>
#include <wx/utils.h>

namespace kestrun {

namespace {
enum : int {
    kIdcHistory = 1040,
    kIdcHistoryGroup = 1041,
    kIdcInterfaceList = 1042,
};

constexpr int kLabelWidth = 40;  // classic pixels
constexpr int kLabelLines = 5;
}  // namespace

CNetworkDlg::CNetworkDlg(wxWindow* parent) : m_options(&App().options())
{
    Init(parent, platform::IsInstalled() ? &platform::Current() : nullptr);
}

CNetworkDlg::CNetworkDlg(wxWindow* parent, platform::Platform* platform, const AppOptions* options) : m_options(options)
{
    Init(parent, platform);
}

CNetworkDlg::~CNetworkDlg()
{
    m_model.reset();  // every row record goes while the list still exists
}

void CNetworkDlg::Init(wxWindow* parent, platform::Platform* platform)
{
    CreatePage(parent, "IDD_NETWORKDLG");

    // The template's "unknown" control is a container panel named after the id: the
    // graph takes its place. Without a template the graph and list still exist.
    wxRect graph(wxPoint(0, 0), FromDIP(wxSize(200, 60)));
    if (wxWindow* placeholder = FindWindow(wxString::Format("%d_container", kIdcHistory))) {
        graph = placeholder->GetRect();
        placeholder->Destroy();
    }
    m_history = new CUsageHistoryCtrl(this, kIdcHistory, graph.GetPosition(), graph.GetSize(), wxBORDER_SUNKEN);
    m_group = wxDynamicCast(FindWindow(kIdcHistoryGroup), wxStaticBox);
    m_list = wxDynamicCast(FindWindow(kIdcInterfaceList), VirtualListCtrl);
    if (m_list == nullptr)
        m_list = new VirtualListCtrl(this, kIdcInterfaceList, wxPoint(0, graph.GetBottom() + 1), FromDIP(wxSize(200, 60)),
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxBORDER_SUNKEN);

    m_history->SetLabelWidth(ScaleClassicWidth(this, kLabelWidth));
    m_history->SetLabelCount(kLabelLines);
    m_history->m_labels[1] = wxString();
    m_history->m_labels[3] = wxString();
    m_history->m_labels[4] = "0%";

    m_listView = std::make_unique<ListCtrlView>(m_list);
    if (platform != nullptr) {
        m_model = std::make_unique<NetworkModel>(*platform, *m_listView);
        m_model->InsertColumns();
        ShowScale(m_model->InitialScale(AutoScale()));
    } else {
        ShowScale(ScaleFor(HistoryFullScale(0.0, AutoScale())));
    }

    Bind(wxEVT_LIST_COL_CLICK, &CNetworkDlg::OnColumnClick, this, kIdcInterfaceList);
}

bool CNetworkDlg::OnShowPage()
{
    BeginShow();
    RefreshList();
    UpdateHistory();
    if (m_model) m_model->SortIfOrdered();
    return true;
}

bool CNetworkDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CNetworkDlg::OnTimerTick(int timerId)
{
    if (timerId == 2) {  // the Refresh command: a user-requested refresh
        wxBusyCursor wait;
        RefreshList();
    } else {
        RefreshList();
    }
    UpdateHistory();
}

void CNetworkDlg::RefreshList()
{
    if (!m_model) return;
    m_model->RefreshList();
    UpdateHistoryTitle();  // the selection may have changed
}

void CNetworkDlg::UpdateHistory()
{
    if (!m_model) return;
    // Shown, the refresh just before computed the sample; a failed one leaves the
    // previous sample, which the graph takes again.
    if (!IsPageShown() && !m_model->CalcHiddenUsage()) return;
    m_history->AddValue(m_model->usage());
    if (const std::optional<HistoryScale> scale = m_model->Rescale(m_history->peakValue(), AutoScale())) ShowScale(*scale);
}

void CNetworkDlg::ShowScale(const HistoryScale& scale)
{
    m_history->m_labels[0] = scale.top;
    m_history->m_labels[2] = scale.middle;
    m_history->SetMaxValue(scale.fullScale);
}

void CNetworkDlg::ToggleSelectedInterfaceOnly()
{
    if (!m_model) {
        m_selectedInterfaceOnly = !m_selectedInterfaceOnly;
        return;
    }
    m_model->ToggleSelectedInterfaceOnly();
    m_selectedInterfaceOnly = m_model->selectedInterfaceOnly();
    UpdateHistoryTitle();
}

void CNetworkDlg::UpdateHistoryTitle()
{
    if (m_group == nullptr || !m_model) return;
    const wxString title = m_model->HistoryTitle();
    if (m_group->GetLabel() != title) m_group->SetLabel(title);
}

// The graph and its box take three quarters of the extra height, the list the rest.
void CNetworkDlg::LayoutControls(int dx, int dy)
{
    const int q = 3 * dy / 4;  // truncated toward zero
    Grow(m_group, dx, q);
    Grow(m_history, dx, q);
    MoveDown(m_list, q);
    Grow(m_list, dx, dy - q);
}

void CNetworkDlg::OnColumnClick(wxListEvent& event)
{
    if (!m_model) return;
    wxBusyCursor wait;
    m_model->ClickHeader(event.GetColumn());
}

}  // namespace kestrun
