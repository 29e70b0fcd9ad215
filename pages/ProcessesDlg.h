// The Processes tab page. Its list arrives with a later change; until then it is an
// empty page that honours the page contract.
#pragma once

#include "pages/PageBase.h"

#include <cstdint>

namespace kestrun {

class CProcessesDlg : public CPageBase {
public:
    static constexpr int kTemplateId = 131;

    explicit CProcessesDlg(wxWindow* parent);

    bool OnShowPage() override;
    bool OnHidePage() override;

    [[nodiscard]] bool CanSetPriority() const;
    [[nodiscard]] int GetPriority() const;
    void SetPriority(int level);

    uint32_t m_pidToSelect = 0;
protected:
    void OnTimerTick(int timerId) override;
};

}  // namespace kestrun
