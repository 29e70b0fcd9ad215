// The window manager as the program sees it: other programs' top-level windows.
#pragma once

#include "platform/Types.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform {

enum class ShowCommand { Hide = 0, ShowNormal = 1, Minimize = 6, Show = 5 };

class Desktop {
public:
    virtual ~Desktop() = default;

    // False (last error set) when there is no display to talk to.
    virtual bool Available() = 0;

    // Top-level windows in stacking order, topmost first.
    virtual std::vector<WindowId> EnumWindows() = 0;
    virtual bool Exists(WindowId window) = 0;
    virtual std::wstring GetTitle(WindowId window) = 0;
    virtual bool IsVisible(WindowId window) = 0;
    virtual WindowId GetOwner(WindowId window) = 0;
    virtual uint32_t GetProcessId(WindowId window) = 0;
    virtual std::optional<Image> GetSmallIcon(WindowId window) = 0;
    virtual WindowId GetForeground() = 0;

    // Exact title match, any window class; nullopt when there is none.
    virtual std::optional<WindowId> FindWindowByTitle(const std::wstring& title) = 0;
    virtual bool ShowWindow(WindowId window, ShowCommand command) = 0;
    virtual bool SetForeground(WindowId window) = 0;
    // Polite close request.
    virtual bool PostClose(WindowId window) = 0;
};

}  // namespace kestrun::platform
