// The Applications page in batch mode: the page's own refresh over an in-memory
// list, with each task's window id and process id after the "Task" column, so
// that scripts can act on them.
#include "display/core/Format.h"
#include "pages/core/BatchPage.h"
#include "pages/core/TasksModel.h"

#include <algorithm>

namespace kestrun {

namespace {

constexpr int kIconSide = 16;
constexpr int kWindowColumn = 1;
constexpr int kPidColumn = 2;

class TasksBatchPage final : public ListBatchPage {
public:
    explicit TasksBatchPage(platform::Platform& platform)
        : platform_(platform), model_(platform, list_, kIconSide, TasksHost{})
    {
        model_.InsertColumns();
    }

    std::vector<std::wstring> Header() override
    {
        std::vector<std::wstring> titles = ListBatchPage::Header();
        titles.insert(titles.end(), {L"Window", L"PID"});
        return titles;
    }

    void Tick(int, unsigned, unsigned) override { model_.Refresh(); }

    // The extra columns sort here; the task column is the page's own sort.
    void ClickHeader(int column) override
    {
        if (column < kWindowColumn) {
            extraColumn_ = 0;
            model_.ClickHeader(column);
            return;
        }
        extraOrder_ = column == extraColumn_ ? -extraOrder_ : 1;
        extraColumn_ = column;
    }

    std::vector<std::vector<std::wstring>> Rows() override
    {
        std::vector<std::vector<std::wstring>> rows = ListBatchPage::Rows();
        std::vector<std::pair<uint64_t, size_t>> keys;  // sort key, row
        for (size_t i = 0; i < rows.size(); ++i) {
            const TaskRow* task = model_.RecordAt(static_cast<int>(i));
            const uint64_t window = task != nullptr ? task->window : 0;
            const uint32_t pid = task != nullptr ? platform_.desktop().GetProcessId(window) : 0;
            rows[i].push_back(Printf(L"0x%llx", static_cast<unsigned long long>(window)));
            rows[i].push_back(Printf(L"%08X", pid));  // as the Processes page shows it
            keys.emplace_back(extraColumn_ == kPidColumn ? pid : window, i);
        }
        if (extraColumn_ == 0) return rows;
        std::stable_sort(keys.begin(), keys.end(), [this](const auto& a, const auto& b) {
            return extraOrder_ == 1 ? a.first < b.first : b.first < a.first;
        });
        std::vector<std::vector<std::wstring>> sorted;
        for (const auto& key : keys) sorted.push_back(std::move(rows[key.second]));
        return sorted;
    }

private:
    platform::Platform& platform_;
    TasksModel model_;
    int extraColumn_ = 0;  // 0: the rows as the page orders them
    int extraOrder_ = 1;
};

}  // namespace

std::unique_ptr<BatchPage> MakeTasksBatchPage(platform::Platform& platform)
{
    return std::make_unique<TasksBatchPage>(platform);
}

}  // namespace kestrun
