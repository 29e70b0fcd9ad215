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

    // Top-level windows in stacking order, topmost first. The per-window calls
    // below answer for these windows from what the service read during the
    // enumeration, read again only for windows that changed since (a window
    // gone meanwhile may answer as it was, or as gone). Empty, with the last
    // error set, when the windows cannot be listed.
    virtual std::vector<WindowId> EnumWindows() = 0;
    // Asks the window system now: false once the window is gone.
    virtual bool Exists(WindowId window) = 0;
    virtual std::wstring GetTitle(WindowId window) = 0;
    // Mapped and not withdrawn; a minimised window is visible (it is a task the user can return to).
    virtual bool IsVisible(WindowId window) = 0;
    // The window it is a child of; 0 for a top-level window.
    virtual WindowId GetParent(WindowId window) = 0;
    // The window it belongs to (a dialog's main window); 0 when none.
    virtual WindowId GetOwner(WindowId window) = 0;
    // The process that made the window; 0 (last error set) when it cannot be told.
    virtual uint32_t GetProcessId(WindowId window) = 0;
    // The window's own small icon, side x side pixels; nullopt when it has none.
    virtual std::optional<Image> GetSmallIcon(WindowId window, int side) = 0;
    virtual WindowId GetForeground() = 0;

    // The program tells which toolkit window is its main window; OwnMainWindow()
    // is the desktop's window that stands for the program (0: none).
    virtual void SetOwnMainWindow(WindowId window) = 0;
    virtual WindowId OwnMainWindow() = 0;
    // Drops what the service keeps of windows between calls and stops watching
    // them (for a task list that is hidden for a while).
    virtual void Forget() = 0;

    // Exact title match, any window class; nullopt when there is none.
    virtual std::optional<WindowId> FindWindowByTitle(const std::wstring& title) = 0;
    virtual bool ShowWindow(WindowId window, ShowCommand command) = 0;
    // Activates the window (de-iconifying it) and brings it to the top.
    virtual bool SetForeground(WindowId window) = 0;
    // Polite close request: false (EOPNOTSUPP) when the window takes none.
    virtual bool PostClose(WindowId window) = 0;
};

}  // namespace kestrun::platform
