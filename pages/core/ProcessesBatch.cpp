// The Processes page in batch mode: the page's own refresh over an in-memory list.
#include "app/core/BatchPage.h"
#include "display/core/MemoryListView.h"
#include "pages/core/ProcessesModel.h"

namespace kestrun {

namespace {

class ProcessesBatchPage final : public BatchPage {
public:
    explicit ProcessesBatchPage(platform::Platform& platform) : model_(platform, list_) { model_.InsertColumns(); }

    std::vector<std::wstring> Header() override
    {
        std::vector<std::wstring> titles;
        for (const ColumnSpec& column : ProcessColumns()) titles.emplace_back(column.title);
        return titles;
    }

    void Tick(int, unsigned, unsigned) override { model_.Refresh(); }

    std::vector<std::vector<std::wstring>> Rows() override { return list_.Cells(); }

private:
    MemoryListView list_;  // declared before the model, which empties it when it goes
    ProcessesModel model_;
};

}  // namespace

std::unique_ptr<BatchPage> MakeProcessesBatchPage(platform::Platform& platform)
{
    return std::make_unique<ProcessesBatchPage>(platform);
}

}  // namespace kestrun
