#include "pages/ProcessesDlg.h"

namespace kestrun {

CProcessesDlg::CProcessesDlg(wxWindow* parent)
{
    CreatePage(parent, "IDD_PROCESSESDLG");
}

bool CProcessesDlg::OnShowPage()
{
    BeginShow();
    return true;
}

bool CProcessesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CProcessesDlg::OnTimerTick(int) {}

bool CProcessesDlg::CanSetPriority() const { return false; }

int CProcessesDlg::GetPriority() const { return 0x7FFFFFFF; }

void CProcessesDlg::SetPriority(int) {}

}  // namespace kestrun
