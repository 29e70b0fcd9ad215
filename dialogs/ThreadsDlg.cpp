#include "dialogs/ThreadsDlg.h"

#include "dialogs/DetailDialogOwner.h"
#include "dialogs/core/ThreadsModel.h"

namespace kestrun {

CThreadsDlg::CThreadsDlg(DetailDialogOwner* owner, platform::Platform* platform)
    : CDetailDlg(owner, platform, ThreadsModel::kInfo)
{
}

bool CThreadsDlg::Create(wxWindow* parent)
{
    return CreateDetail(parent, kIdcThreadList, {1080, 1094});  // Refresh and the box move down
}

std::unique_ptr<DetailModel> CThreadsDlg::MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls)
{
    return std::make_unique<ThreadsModel>(platform, list, controls);
}

void CThreadsDlg::NotifyClosed(DetailDialogOwner& owner) { owner.ThreadsDialogClosed(); }

}  // namespace kestrun
