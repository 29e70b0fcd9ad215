// The Network tab page. Its list arrives with a later change; until then it is an
// empty page that honours the page contract.
#pragma once

#include "pages/PageBase.h"

namespace kestrun {

class CNetworkDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 138;

    explicit CNetworkDlg(wxWindow* parent);

    bool OnShowPage() override;
    bool OnHidePage() override;

    // Keeps the usage history running while the page is hidden.
    void UpdateHistory();
    void ToggleSelectedInterfaceOnly();

    bool m_selectedInterfaceOnly = false;
protected:
    void OnTimerTick(int timerId) override;
};

}  // namespace kestrun
