#include "pages/DevicesDlg.h"

namespace kestrun {

CDevicesDlg::CDevicesDlg(wxWindow* parent)
{
    CreatePage(parent, "IDD_DEVICESDLG");
}

bool CDevicesDlg::OnShowPage()
{
    BeginShow();
    return true;
}

bool CDevicesDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CDevicesDlg::OnTimerTick(int) {}

}  // namespace kestrun
