// The detail dialogs in batch mode: the dialog's own refresh over an in-memory
// list and in-memory controls, printed with its title line (and totals).
#include "dialogs/core/HeapModel.h"
#include "dialogs/core/MemoryDetailControls.h"
#include "dialogs/core/ModuleUsageModel.h"
#include "dialogs/core/ModulesModel.h"
#include "dialogs/core/ThreadsModel.h"
#include "pages/core/BatchPage.h"

namespace kestrun {

namespace {

template <class Model>
class DetailBatchPage : public ListBatchPage {
public:
    template <class... Extra>
    DetailBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName, Extra... extra)
        : model_(platform, list_, controls_, extra...)
    {
        model_.InsertColumns();
        model_.SetProcess(processId, processName);
    }

    // The first tick fills the list as the dialog's own first tick does; each
    // later one refreshes it as the Refresh button does.
    void Tick(int, unsigned, unsigned) override
    {
        model_.Refresh(ticks_++ == 0 ? RefreshMode::kRebuild : RefreshMode::kUpdate);
    }
    void ClickHeader(int column) override { model_.ClickHeader(column); }
    std::vector<std::wstring> Caption() override { return {controls_.caption}; }

protected:
    MemoryDetailControls controls_;  // before the model, which talks to it
    Model model_;
    int ticks_ = 0;
};

class HeapBatchPage final : public DetailBatchPage<HeapModel> {
public:
    using DetailBatchPage::DetailBatchPage;
    std::vector<std::vector<std::wstring>> Figures() override
    {
        return {{L"Total size:", controls_.values[kIdcTotalSize]}, {L"Free size:", controls_.values[kIdcFreeSize]}};
    }
};

class ModulesBatchPage final : public DetailBatchPage<ModulesModel> {
public:
    ModulesBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName)
        : DetailBatchPage(platform, processId, processName, processId == 0)
    {
    }
    std::vector<std::vector<std::wstring>> Figures() override
    {
        return {{L"Total:", controls_.values[kIdcModulesTotal]},
                {L"Shared:", controls_.values[kIdcModulesShared]},
                {L"RAM:", controls_.values[kIdcModulesRam]}};
    }
};

// The Module usage dialog has no process: its title names the module.
class ModuleUsageBatchPage final : public DetailBatchPage<ModuleUsageModel> {
public:
    ModuleUsageBatchPage(platform::Platform& platform, uint32_t moduleId, const std::wstring& moduleName)
        : DetailBatchPage(platform, 0, moduleName)
    {
        model_.SetModule(moduleId, moduleName);
    }
};

}  // namespace

std::unique_ptr<BatchPage> MakeModulesBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName)
{
    return std::make_unique<ModulesBatchPage>(platform, processId, processId == 0 ? std::wstring(kSystemModulesName) : processName);
}

std::unique_ptr<BatchPage> MakeModuleUsageBatchPage(platform::Platform& platform, uint32_t moduleId, const std::wstring& moduleName)
{
    return std::make_unique<ModuleUsageBatchPage>(platform, moduleId, moduleName);
}

std::unique_ptr<BatchPage> MakeThreadsBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName)
{
    return std::make_unique<DetailBatchPage<ThreadsModel>>(platform, processId, processName);
}

std::unique_ptr<BatchPage> MakeHeapBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName)
{
    return std::make_unique<HeapBatchPage>(platform, processId, processName);
}

}  // namespace kestrun
