#include "dialogs/ModulesDlg.h"

#include "dialogs/DetailDialogOwner.h"
#include "dialogs/FilePropertiesDlg.h"
#include "dialogs/ModuleUsageDlg.h"
#include "dialogs/core/ModulesModel.h"
#include "display/core/Format.h"
#include "display/core/MessageBox.h"

#include <wx/listctrl.h>

namespace kestrun {

CModulesDlg::CModulesDlg(DetailDialogOwner* owner, platform::Platform* platform, bool systemMode)
    : CDetailDlg(owner, platform, ModulesModel::kInfo), m_systemMode(systemMode), m_timer(this, kOwnTimerId)
{
}

CModulesDlg::~CModulesDlg() { m_timer.Stop(); }

bool CModulesDlg::Create(wxWindow* parent)
{
    // The labels, value boxes and the three buttons move down with the height.
    const std::vector<int> below = {1043, kIdcModulesTotal, 1070, kIdcModulesShared, 1044, kIdcModulesRam, 1080, 1094, kIdcUsage};
    if (!CreateDetail(parent, kIdcModuleList, below, {kIdcModulesTotal, kIdcModulesShared, kIdcModulesRam})) return false;
    Bind(wxEVT_BUTTON, &CModulesDlg::OnUsage, this, kIdcUsage);
    Bind(wxEVT_TIMER, &CModulesDlg::OnOwnTimer, this, kOwnTimerId);
    if (m_systemMode && !m_timer.Start(kOwnTimerMs)) {
        platform::Fail(EAGAIN);
        ShowError(L"A timer cannot be set.");  // the dialog works with manual refresh only
    }
    return true;
}

void CModulesDlg::AllowAutoRefresh(bool allowed)
{
    CDetailDlg::AllowAutoRefresh(allowed);
    if (!allowed && m_systemMode) m_timer.Stop();  // not started again when the count falls
}

std::unique_ptr<DetailModel> CModulesDlg::MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls)
{
    return std::make_unique<ModulesModel>(platform, list, controls, m_systemMode);
}

void CModulesDlg::NotifyClosed(DetailDialogOwner& owner) { owner.ModulesDialogClosed(); }

// The own timer's id 3 refreshes whatever the automatic box says.
void CModulesDlg::OnOwnTimer(wxTimerEvent&) { OnTimerMessage(kOwnTimerId); }

void CModulesDlg::OnRowActivated(long row)
{
    if (platformPtr() == nullptr) return;
    const std::wstring name = listControl()->GetItemText(row, kColModuleName).ToStdWstring();
    const std::wstring folder = listControl()->GetItemText(row, kColModulePath).ToStdWstring();
    CFilePropertiesDlg::Run(*platformPtr(), folder, name);
}

void CModulesDlg::OnUsage(wxCommandEvent&)
{
    const long row = SelectedRow();
    if (row < 0) {
        MessageBox(L"You must first select a module.", kMbOk);
        return;
    }
    if (platformPtr() == nullptr) return;
    const auto* module = static_cast<const ModuleRow*>(listControl()->RowData(static_cast<size_t>(row)));
    if (module == nullptr) return;
    CModuleUsageDlg usage(platformPtr(), module->moduleId, listControl()->GetItemText(row, kColModuleName).ToStdWstring());
    if (usage.Create(nullptr)) usage.ShowModal();
}

}  // namespace kestrun
