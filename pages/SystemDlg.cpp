#include "pages/SystemDlg.h"

namespace kestrun {

CSystemDlg::CSystemDlg(wxWindow* parent)
{
    CreatePage(parent, "IDD_SYSTEMDLG");
}

bool CSystemDlg::OnShowPage()
{
    BeginShow();
    return true;
}

bool CSystemDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CSystemDlg::OnTimerTick(int) {}

void CSystemDlg::SetUsage(int, int) {}

}  // namespace kestrun
