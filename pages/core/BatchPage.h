// A page as batch mode prints it: the same refresh logic as the window, talking to
// an in-memory list instead of a list control.
#pragma once

#include "display/core/MemoryListView.h"
#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrun {

class BatchPage {
public:
    virtual ~BatchPage() = default;

    // Column titles of the page's header line.
    virtual std::vector<std::wstring> Header() = 0;
    // One refresh tick: timerId 1 (update timer) or 2 (Refresh), with the CPU load
    // and memory load the view measured for this tick.
    virtual void Tick(int timerId, unsigned cpuPercent, unsigned memoryPercent) = 0;
    // The rows after the tick, one text per column, exactly as the window shows them.
    virtual std::vector<std::vector<std::wstring>> Rows() = 0;
    // Lines printed after the rows: figures of the page that are not rows of its list.
    virtual std::vector<std::vector<std::wstring>> Figures() { return {}; }

    // Lines printed before the header: a detail dialog's title.
    virtual std::vector<std::wstring> Caption() { return {}; }

    // Whether the page's rows sort by a header click; ClickHeader clicks one.
    [[nodiscard]] virtual bool Sortable() const { return false; }
    virtual void ClickHeader(int /*column*/) {}

    // The list the page's rows live in, whose counters say what a tick did to it; null: the page has none.
    virtual MemoryListView* List() { return nullptr; }
};

// A page whose rows are a list: the header is the list's columns, as the window
// shows them, and the rows its cells.
class ListBatchPage : public BatchPage {
public:
    std::vector<std::wstring> Header() override
    {
        std::vector<std::wstring> titles;
        for (const MemoryListView::Column& column : list_.columns()) titles.push_back(column.title);
        return titles;
    }
    std::vector<std::vector<std::wstring>> Rows() override { return list_.Cells(); }
    [[nodiscard]] bool Sortable() const override { return true; }
    MemoryListView* List() override { return &list_; }

protected:
    MemoryListView list_;  // a derived page's model is declared after it, and empties it when it goes
};

// Each page provides its factory in its own pages/core source.
std::unique_ptr<BatchPage> MakeProcessesBatchPage(platform::Platform& platform);
std::unique_ptr<BatchPage> MakeTasksBatchPage(platform::Platform& platform);
std::unique_ptr<BatchPage> MakeSystemBatchPage(platform::Platform& platform);
std::unique_ptr<BatchPage> MakeServicesBatchPage(platform::Platform& platform);
std::unique_ptr<BatchPage> MakeNetworkBatchPage(platform::Platform& platform);
std::unique_ptr<BatchPage> MakeDevicesBatchPage(platform::Platform& platform);
// A detail dialog's list for one process (0: none) named processName.
std::unique_ptr<BatchPage> MakeThreadsBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName);
std::unique_ptr<BatchPage> MakeHeapBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName);
// The Modules dialog of a process, or of the whole system for process id 0.
std::unique_ptr<BatchPage> MakeModulesBatchPage(platform::Platform& platform, uint32_t processId, const std::wstring& processName);
std::unique_ptr<BatchPage> MakeModuleUsageBatchPage(platform::Platform& platform, uint32_t moduleId, const std::wstring& moduleName);

}  // namespace kestrun
