// The Network page in batch mode: the page's refresh over an in-memory list, as
// the shown page runs it on every tick, then the sample its history graph takes.
#include "display/core/Format.h"
#include "pages/core/BatchPage.h"
#include "pages/core/NetworkModel.h"

namespace kestrun {

namespace {

class NetworkBatchPage final : public ListBatchPage {
public:
    explicit NetworkBatchPage(platform::Platform& platform) : model_(platform, list_) { model_.InsertColumns(); }

    void Tick(int, unsigned, unsigned) override { model_.RefreshList(); }
    void ClickHeader(int column) override { model_.ClickHeader(column); }

    // The history graph's title and the sample it takes for this tick, in percent.
    std::vector<std::vector<std::wstring>> Figures() override
    {
        return {{model_.HistoryTitle(), Printf(L"%.2f%%", model_.usage())}};
    }

private:
    NetworkModel model_;
};

}  // namespace

std::unique_ptr<BatchPage> MakeNetworkBatchPage(platform::Platform& platform)
{
    return std::make_unique<NetworkBatchPage>(platform);
}

}  // namespace kestrun
