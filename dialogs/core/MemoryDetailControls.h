// A detail dialog's controls without a window, for batch mode and tests.
#pragma once

#include "dialogs/core/DetailControls.h"

#include <map>
#include <string>

namespace kestrun {

class MemoryDetailControls final : public DetailControls {
public:
    void SetCaption(const std::wstring& title) override { caption = title; }
    [[nodiscard]] bool AutoRefreshChecked() const override { return autoRefreshChecked; }
    void AllowAutoRefresh(bool allowed) override
    {
        autoRefreshEnabled = allowed;
        if (!allowed) autoRefreshChecked = false;
    }
    void SetValueText(int control, const std::wstring& text) override { values[control] = text; }
    void SuspendListRedraw(bool suspend) override
    {
        redrawSuspended = suspend;
        if (suspend) ++redrawSuspensions;
    }

    std::wstring caption;
    bool autoRefreshChecked = false;  // the user's click: tests set it
    bool autoRefreshEnabled = true;
    std::map<int, std::wstring> values;
    bool redrawSuspended = false;
    int redrawSuspensions = 0;
};

}  // namespace kestrun
