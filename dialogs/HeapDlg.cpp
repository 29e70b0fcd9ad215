#include "dialogs/HeapDlg.h"

#include "dialogs/DetailDialogOwner.h"
#include "dialogs/core/HeapModel.h"

namespace kestrun {

CHeapDlg::CHeapDlg(DetailDialogOwner* owner, platform::Platform* platform) : CDetailDlg(owner, platform, HeapModel::kInfo) {}

bool CHeapDlg::Create(wxWindow* parent)
{
    // The labels, value boxes and both buttons move down with the height.
    return CreateDetail(parent, kIdcHeapList, {1043, kIdcTotalSize, 1044, kIdcFreeSize, 1080, 1094}, {kIdcTotalSize, kIdcFreeSize});
}

void CHeapDlg::SetExpectedEntries(uint32_t count)
{
    if (m_heap != nullptr) m_heap->SetExpectedEntries(count);
}

std::unique_ptr<DetailModel> CHeapDlg::MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls)
{
    auto model = std::make_unique<HeapModel>(platform, list, controls);
    m_heap = model.get();
    return model;
}

void CHeapDlg::NotifyClosed(DetailDialogOwner& owner) { owner.HeapDialogClosed(); }

}  // namespace kestrun
