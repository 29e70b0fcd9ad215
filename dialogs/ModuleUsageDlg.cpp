#include "dialogs/ModuleUsageDlg.h"

#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/core/ModuleUsageModel.h"

#include <wx/listctrl.h>

namespace kestrun {

CModuleUsageDlg::CModuleUsageDlg(platform::Platform* platform, uint32_t moduleId, const std::wstring& moduleName)
    : CDetailDlg(nullptr, platform, ModuleUsageModel::kInfo), m_moduleId(moduleId), m_moduleName(moduleName)
{
}

bool CModuleUsageDlg::Create(wxWindow* parent)
{
    return CreateDetail(parent, kIdcProcessList, {});  // only the list grows; the text above it stays
}

std::unique_ptr<DetailModel> CModuleUsageDlg::MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls)
{
    auto model = std::make_unique<ModuleUsageModel>(platform, list, controls);
    model->SetModule(m_moduleId, m_moduleName);
    return model;
}

// A modal dialog without an owning page: nobody to tell.
void CModuleUsageDlg::NotifyClosed(DetailDialogOwner&) {}

void CModuleUsageDlg::OnRowActivated(long row)
{
    if (platformPtr() == nullptr) return;
    const std::wstring name = listControl()->GetItemText(row, kColUsageName).ToStdWstring();
    const std::wstring folder = listControl()->GetItemText(row, kColUsagePath).ToStdWstring();
    CFilePropertiesDlg::Run(*platformPtr(), folder, name);
}

}  // namespace kestrun
