// What a detail dialog's list logic asks of its window besides the list: the
// title, the "Automatic list refresh" box, the value boxes and the list's
// redrawing. The dialog window implements it; batch mode and tests keep it in
// memory (MemoryDetailControls).
#pragma once

#include <string>

namespace kestrun {

class DetailControls {
public:
    virtual ~DetailControls() = default;

    virtual void SetCaption(const std::wstring& title) = 0;
    [[nodiscard]] virtual bool AutoRefreshChecked() const = 0;
    // Not allowed: the box is unchecked and disabled. Allowed: it is enabled and
    // keeps its check.
    virtual void AllowAutoRefresh(bool allowed) = 0;
    // The text of a value box (the Heap dialog's totals), by control id.
    virtual void SetValueText(int control, const std::wstring& text) = 0;
    // Stops (true) or resumes (false) the list's redrawing.
    virtual void SuspendListRedraw(bool suspend) = 0;
};

}  // namespace kestrun
