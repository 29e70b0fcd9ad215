// A page as batch mode prints it: the same refresh logic as the window, talking to
// an in-memory list instead of a list control.
#pragma once

#include "platform/Platform.h"

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
};

// Each built page provides its factory in its own pages/core source.
std::unique_ptr<BatchPage> MakeProcessesBatchPage(platform::Platform& platform);
std::unique_ptr<BatchPage> MakeSystemBatchPage(platform::Platform& platform);

}  // namespace kestrun
