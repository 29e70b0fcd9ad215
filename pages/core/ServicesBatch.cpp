// The Services page in batch mode: the page's own refresh over an in-memory list.
#include "pages/core/BatchPage.h"
#include "pages/core/ServicesModel.h"

namespace kestrun {

namespace {

class ServicesBatchPage final : public ListBatchPage {
public:
    explicit ServicesBatchPage(platform::Platform& platform) : model_(platform, list_) { model_.InsertColumns(); }

    void Tick(int, unsigned, unsigned) override { model_.Refresh(); }
    void ClickHeader(int column) override { model_.ClickHeader(column); }

private:
    ServicesModel model_;
};

}  // namespace

std::unique_ptr<BatchPage> MakeServicesBatchPage(platform::Platform& platform)
{
    return std::make_unique<ServicesBatchPage>(platform);
}

}  // namespace kestrun
