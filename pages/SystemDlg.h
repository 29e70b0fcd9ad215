// The System Performance tab page. Its list arrives with a later change; until then it is an
// empty page that honours the page contract.
#pragma once

#include "pages/PageBase.h"

namespace kestrun {

class CSystemDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 137;

    explicit CSystemDlg(wxWindow* parent);

    bool OnShowPage() override;
    bool OnHidePage() override;

    void SetUsage(int cpuPercent, int memoryPercent);
protected:
    void OnTimerTick(int timerId) override;
};

}  // namespace kestrun
