// The Modules dialog: in page mode the modules of the process selected on the
// Processes page, opened and closed with the page's "DLLs" box; in system mode
// (Show All DLLs) every module of every process, modal, with a 2 s timer of its own.
#pragma once

#include "dialogs/DetailDlg.h"

#include <wx/timer.h>

namespace kestrun {

class CModulesDlg final : public CDetailDlg {
public:
    static constexpr int kTemplateId = 132;
    static constexpr int kIdcModuleList = 1005;
    static constexpr int kIdcUsage = 1096;
    static constexpr int kOwnTimerId = 3;
    static constexpr int kOwnTimerMs = 2000;

    // Page mode with an owner; system mode without one.
    CModulesDlg(DetailDialogOwner* owner, platform::Platform* platform, bool systemMode = false);
    ~CModulesDlg() override;
    // Page mode: the modeless window with the page as parent. System mode: the
    // window to run modally, with its own timer started.
    bool Create(wxWindow* parent);

    [[nodiscard]] bool systemMode() const { return m_systemMode; }
    [[nodiscard]] bool ownTimerRunning() const { return m_timer.IsRunning(); }

    // Above the row limit the system mode's own timer stops for good.
    void AllowAutoRefresh(bool allowed) override;

protected:
    std::unique_ptr<DetailModel> MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls) override;
    void NotifyClosed(DetailDialogOwner& owner) override;
    void OnRowActivated(long row) override;

private:
    void OnUsage(wxCommandEvent& event);
    void OnOwnTimer(wxTimerEvent& event);

    bool m_systemMode;
    wxTimer m_timer;
};

}  // namespace kestrun
