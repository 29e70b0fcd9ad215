// The desktop on X11: other clients' top-level windows through EWMH when a
// window manager is there, through the window tree when not. The display is
// opened on first use and kept; without one every call fails quietly.
#pragma once

#include "platform/Desktop.h"
#include "platform/linux/X11Session.h"
#include "platform/linux/X11WindowCache.h"

#include <memory>
#include <vector>

namespace kestrun::platform::linux_backend {

class LinuxDesktop final : public Desktop {
public:
    LinuxDesktop() = default;
    ~LinuxDesktop() override;

    bool Available() override { return Session() != nullptr; }
    std::vector<WindowId> EnumWindows() override;
    bool Exists(WindowId window) override;
    std::wstring GetTitle(WindowId window) override;
    bool IsVisible(WindowId window) override;
    WindowId GetParent(WindowId window) override;
    WindowId GetOwner(WindowId window) override;
    uint32_t GetProcessId(WindowId window) override;
    std::optional<Image> GetSmallIcon(WindowId window, int side) override;
    WindowId GetForeground() override;
    void SetOwnMainWindow(WindowId window) override { ownMainWindow_ = window; }
    WindowId OwnMainWindow() override { return ownMainWindow_; }
    void Forget() override;
    std::optional<WindowId> FindWindowByTitle(const std::wstring& title) override;
    bool ShowWindow(WindowId window, ShowCommand command) override;
    bool SetForeground(WindowId window) override;
    bool PostClose(WindowId window) override;

    // The connection, once open: tests count its requests and round trips.
    X11Session* session() { return Session(); }

private:
    X11Session* Session();
    // The record of a known window (last error set when it is gone or there is no display).
    X11WindowRecord* Record(WindowId window);
    // After an action on window: what is known of it is read again when next asked.
    void Changed(xcb_window_t window);
    // Sets the last error for an X error code and returns whether there was none.
    bool Done(int error);

    // Whether a manager is there, from the root's check window, which carries
    // the same check. The check window seen last is asked about together with
    // the root, so an unchanged manager costs no extra round trip.
    struct RootState {
        bool hasManager = false;
        std::vector<xcb_window_t> bottomToTop;  // the manager's stacking list, or the root's children
    };
    RootState ReadRoot(bool withTree);
    bool HasManager() { return ReadRoot(false).hasManager; }
    // The client window in each frame (a child of the root that lacks WM_STATE):
    // a descendant that carries it, two levels down at most; the frame itself when none does.
    void ResolveClients(const std::vector<xcb_window_t>& frames);
    // The child of the root that holds window.
    xcb_window_t TopLevelOf(xcb_window_t window);
    bool IsTaskCandidate(const X11WindowRecord& r) const;

    std::unique_ptr<X11Session> session_;
    std::unique_ptr<X11WindowCache> cache_;
    xcb_window_t lastCheck_ = XCB_NONE;
    std::vector<xcb_window_t> lastEnumerated_;  // whose icons are read together when one is asked for
    WindowId ownMainWindow_ = 0;
};

}  // namespace kestrun::platform::linux_backend
