// The Services tab page. Its list arrives with a later change; until then it is an
// empty page that honours the page contract.
#pragma once

#include "pages/PageBase.h"

namespace kestrun {

class CServicesDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 141;

    explicit CServicesDlg(wxWindow* parent);

    bool OnShowPage() override;
    bool OnHidePage() override;

protected:
    void OnTimerTick(int timerId) override;
};

}  // namespace kestrun
