// The Heap dialog: the heap entries of the process selected on the Processes
// page with their total and free sizes, opened and closed with the page's
// "Memory" box.
#pragma once

#include "dialogs/DetailDlg.h"

#include <cstdint>

namespace kestrun {

class HeapModel;

class CHeapDlg final : public CDetailDlg {
public:
    static constexpr int kTemplateId = 134;
    static constexpr int kIdcHeapList = 1012;

    CHeapDlg(DetailDialogOwner* owner, platform::Platform* platform);
    bool Create(wxWindow* parent);

    // The page's Mem. Blocks figure for the process, written with the process id.
    void SetExpectedEntries(uint32_t count);

protected:
    std::unique_ptr<DetailModel> MakeModel(platform::Platform& platform, ListView& list, DetailControls& controls) override;
    void NotifyClosed(DetailDialogOwner& owner) override;

private:
    HeapModel* m_heap = nullptr;  // the model, as a heap model
};

}  // namespace kestrun
