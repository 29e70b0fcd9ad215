// The application services for window tests: options of their own, and a
// record of what the program asked of the main window and the help viewer.
#pragma once

#include "pages/core/AppOptions.h"
#include "pages/core/AppServices.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrun::testing {

class RecordingServices : public AppServices {
public:
    AppOptions& options() override { return appOptions; }
    // Records the anchor; the viewer "starts" only when helpStarts is set.
    bool ShowHelp(const std::wstring& anchor) override
    {
        helpAnchors.push_back(anchor);
        return helpStarts;
    }
    void RestoreMainWindow(bool) override { ++restores; }
    void HideMainWindow() override { ++hides; }
    void MinimizeMainWindow() override { ++minimizes; }
    void GoToProcess(uint32_t processId) override { goneTo.push_back(processId); }

    AppOptions appOptions;
    bool helpStarts = false;
    std::vector<std::wstring> helpAnchors;
    int restores = 0;
    int hides = 0;
    int minimizes = 0;
    std::vector<uint32_t> goneTo;
};

}  // namespace kestrun::testing
