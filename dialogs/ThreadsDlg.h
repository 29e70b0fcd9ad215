// The Threads dialog: the threads of the process selected on the Processes
// page, opened and closed with the page's "Threads" box.
#pragma once

#include "dialogs/DetailDlg.h"

namespace kestrun {

class CThreadsDlg final : public CDetailDlg {
public:
    static constexpr int kTemplateId = 133;
    static constexpr int kIdcThreadList = 1008;

    CThreadsDlg(DetailDialogOwner* owner, platform::Platform* platform);
    // Creates the modeless window from its template with the page as parent.
    bool Create(wxWindow* parent);

protected:
    std::unique_ptr<DetailModel> MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls) override;
    void NotifyClosed(DetailDialogOwner& owner) override;
};

}  // namespace kestrun
