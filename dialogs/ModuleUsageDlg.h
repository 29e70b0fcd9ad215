// The Module usage dialog: every process that has one module loaded, shown
// modally from the Modules dialog's "Usage..." button and refreshed with F5.
#pragma once

#include "dialogs/DetailDlg.h"

#include <cstdint>
#include <string>

namespace kestrun {

class CModuleUsageDlg final : public CDetailDlg {
public:
    static constexpr int kTemplateId = 143;
    static constexpr int kIdcProcessList = 1095;

    CModuleUsageDlg(platform::Platform* platform, uint32_t moduleId, const std::wstring& moduleName);
    // Makes the window and lists the module's users at once.
    bool Create(wxWindow* parent);

protected:
    std::unique_ptr<DetailModel> MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls) override;
    void NotifyClosed(DetailDialogOwner& owner) override;
    void OnRowActivated(long row) override;

private:
    uint32_t m_moduleId;
    std::wstring m_moduleName;
};

}  // namespace kestrun
