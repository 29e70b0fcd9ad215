// The Devices page in batch mode: the page's own refresh over an in-memory list.
#include "pages/core/BatchPage.h"
#include "pages/core/DevicesModel.h"

namespace kestrun {

namespace {

class DevicesBatchPage final : public ListBatchPage {
public:
    explicit DevicesBatchPage(platform::Platform& platform) : model_(platform, list_) { model_.InsertColumns(); }

    void Tick(int, unsigned, unsigned) override { model_.Refresh(); }
    void ClickHeader(int column) override { model_.ClickHeader(column); }

private:
    DevicesModel model_;
};

}  // namespace

std::unique_ptr<BatchPage> MakeDevicesBatchPage(platform::Platform& platform)
{
    return std::make_unique<DevicesBatchPage>(platform);
}

}  // namespace kestrun
