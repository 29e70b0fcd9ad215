// The Processes page in batch mode: the page's own refresh over an in-memory list.
#include "pages/core/BatchPage.h"
#include "pages/core/ProcessesModel.h"

namespace kestrun {

namespace {

class ProcessesBatchPage final : public ListBatchPage {
public:
    explicit ProcessesBatchPage(platform::Platform& platform) : model_(platform, list_) { model_.InsertColumns(); }

    void Tick(int, unsigned, unsigned) override { model_.Refresh(); }
    void ClickHeader(int column) override { model_.ClickHeader(column); }

private:
    ProcessesModel model_;
};

}  // namespace

std::unique_ptr<BatchPage> MakeProcessesBatchPage(platform::Platform& platform)
{
    return std::make_unique<ProcessesBatchPage>(platform);
}

}  // namespace kestrun
