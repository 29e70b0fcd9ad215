#include "pages/ServicesDlg.h"

namespace kestrun {

CServicesDlg::CServicesDlg(wxWindow* parent)
{
    CreatePage(parent, "IDD_SERVICESDLG");
}

bool CServicesDlg::OnShowPage()
{
    BeginShow();
    return true;
}

bool CServicesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CServicesDlg::OnTimerTick(int) {}

}  // namespace kestrun
