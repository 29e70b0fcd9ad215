// What the windows ask of the application as a whole: its options, help, and
// showing or hiding the main window. The application object provides it; tests
// install their own.
#pragma once

#include "pages/core/AppOptions.h"

#include <cstdint>
#include <string>

namespace kestrun {

class AppServices {
public:
    virtual ~AppServices() = default;
    virtual AppOptions& options() = 0;
    // Starts the help viewer at anchor; false when it could not be started.
    virtual bool ShowHelp(const std::wstring& anchor) = 0;
    virtual void RestoreMainWindow(bool activate) = 0;
    virtual void HideMainWindow() = 0;
    virtual void MinimizeMainWindow() = 0;
    virtual void GoToProcess(uint32_t processId) = 0;
};

// The installed services; SetAppServices(nullptr) removes them.
AppServices& App();
void SetAppServices(AppServices* services);

}  // namespace kestrun
