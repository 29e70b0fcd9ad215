// The Network tab page: the LAN usage history graph in its group box above the
// list of interfaces. The list logic and the usage sample live in NetworkModel;
// this class builds the controls, feeds the graph and routes events. The view
// calls UpdateHistory on every tick while another tab is shown, so the history
// keeps running.
#pragma once

#include "display/ListCtrlView.h"
#include "pages/PageBase.h"
#include "pages/core/AppOptions.h"
#include "pages/core/NetworkModel.h"

#include <memory>

class wxListCtrl;
class wxListEvent;
class wxStaticBox;

namespace kestrun {

class CUsageHistoryCtrl;

class CNetworkDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 138;

    explicit CNetworkDlg(wxWindow* parent);
    // A page on the given platform and options rather than the process-wide ones;
    // without a platform it has no list logic, without options no Auto Scale.
    CNetworkDlg(wxWindow* parent, platform::Platform* platform, const AppOptions* options);
    ~CNetworkDlg() override;

    bool OnShowPage() override;
    bool OnHidePage() override;

    // Adds this tick's sample to the history (computing it first while the page is
    // hidden) and follows Auto Scale.
    void UpdateHistory();
    // The "Usage of Selected Interface" command.
    void ToggleSelectedInterfaceOnly();

    bool m_selectedInterfaceOnly = false;  // the view shows its check mark

    [[nodiscard]] CUsageHistoryCtrl* history() const { return m_history; }
    [[nodiscard]] wxStaticBox* historyGroup() const { return m_group; }
    [[nodiscard]] VirtualListCtrl* listControl() const { return m_list; }
    [[nodiscard]] const NetworkModel* model() const { return m_model.get(); }

protected:
    void OnTimerTick(int timerId) override;
    void LayoutControls(int dx, int dy) override;

private:
    void Init(wxWindow* parent, platform::Platform* platform);
    void RefreshList();
    void UpdateHistoryTitle();
    void ShowScale(const HistoryScale& scale);
    [[nodiscard]] bool AutoScale() const { return m_options != nullptr && m_options->AutoScale; }

    void OnColumnClick(wxListEvent& event);

    const AppOptions* m_options = nullptr;
    CUsageHistoryCtrl* m_history = nullptr;
    wxStaticBox* m_group = nullptr;
    VirtualListCtrl* m_list = nullptr;
    std::unique_ptr<ListCtrlView> m_listView;
    std::unique_ptr<NetworkModel> m_model;  // declared last: it empties the list when it goes
};

}  // namespace kestrun
