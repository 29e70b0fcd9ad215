#include "pages/TasksDlg.h"

namespace kestrun {

CTasksDlg::CTasksDlg(wxWindow* parent)
{
    CreatePage(parent, "IDD_TASKSDLG");
}

bool CTasksDlg::OnShowPage()
{
    BeginShow();
    return true;
}

bool CTasksDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CTasksDlg::OnTimerTick(int) {}

}  // namespace kestrun
