#include "pages/NetworkDlg.h"

namespace kestrun {

CNetworkDlg::CNetworkDlg(wxWindow* parent)
{
    CreatePage(parent, "IDD_NETWORKDLG");
}

bool CNetworkDlg::OnShowPage()
{
    BeginShow();
    return true;
}

bool CNetworkDlg::OnHidePage()
{
    EndShow();
    return true;
}

void CNetworkDlg::OnTimerTick(int) {}

void CNetworkDlg::UpdateHistory() {}

void CNetworkDlg::ToggleSelectedInterfaceOnly() { m_selectedInterfaceOnly = !m_selectedInterfaceOnly; }

}  // namespace kestrun
