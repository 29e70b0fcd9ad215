// Shared setup of the desktop tests: the test's own Xlib connection to the
// private X server each test gets, windows made on it, and openbox for the
// tests that want a window manager.
// GoogleTest before Xlib: Xlib's macros (None, Bool, Status) would break its templates.
#pragma once

#include <gtest/gtest.h>

#include "platform/LastError.h"
#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/LinuxPlatform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kestrun::platform::linux_backend {

// Polls until done() or about thirty seconds have gone: a window manager acts
// on its own time.
template <typename Done>
inline bool WaitFor(Done done)
{
    // Up to 30 s: a window manager on a loaded machine can take seconds to adopt a window.
    for (int i = 0; i < 600; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// The test's own client: makes windows the way other programs do.
class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The server resets when its last client leaves: it may be a moment away.
        WaitFor([&] { return (display_ = XOpenDisplay(nullptr)) != nullptr; });
        if (display_ == nullptr) GTEST_SKIP() << "no X display";
        root_ = DefaultRootWindow(display_);
    }
    void TearDown() override
    {
        desktop_.reset();
        if (display_ != nullptr) XCloseDisplay(display_);
    }

    Atom A(const char* name) { return XInternAtom(display_, name, False); }

    Window MakeWindow(const std::string& title, bool map = true, bool override = false)
    {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = override ? True : False;
        attributes.event_mask = StructureNotifyMask | PropertyChangeMask;
        const Window w = XCreateWindow(display_, root_, 10, 10, 120, 80, 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
        if (!title.empty())
            XChangeProperty(display_, w, A("_NET_WM_NAME"), A("UTF8_STRING"), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
        if (map) XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }

    void SetLatin1Name(Window w, const std::string& bytes)
    {
        XChangeProperty(display_, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
        XSync(display_, False);
    }

    void SetCardinals(Window w, const char* property, Atom type, const std::vector<long>& values)
    {
        XChangeProperty(display_, w, A(property), type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
        XSync(display_, False);
    }

    void SetMachine(Window w, const std::string& host)
    {
        XChangeProperty(display_, w, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(host.data()), static_cast<int>(host.size()));
        XSync(display_, False);
    }

    int MapState(Window w)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display_, w, &attributes);
        return attributes.map_state;
    }

    std::vector<WindowId> Ours(const std::vector<WindowId>& all, const std::vector<Window>& mine)
    {
        std::vector<WindowId> result;
        for (const WindowId w : all)
            if (std::find(mine.begin(), mine.end(), w) != mine.end()) result.push_back(w);
        return result;
    }

    Display* display_ = nullptr;
    Window root_ = None;
    std::unique_ptr<LinuxDesktop> desktop_ = std::make_unique<LinuxDesktop>();
};

class X11DesktopWithManager : public X11Desktop {
protected:
    void SetUp() override
    {
        X11Desktop::SetUp();
        if (display_ == nullptr) return;
        char name[] = "openbox";
        char noSession[] = "--sm-disable";
        char* argv[] = {name, noSession, nullptr};
        if (posix_spawnp(&manager_, "openbox", nullptr, nullptr, argv, environ) != 0) GTEST_SKIP() << "no openbox";
        ASSERT_TRUE(WaitFor([&] { return ManagerIsUp(); })) << "openbox did not come up";
        ASSERT_TRUE(ManagesAWindow()) << "openbox manages no window";
    }
    void TearDown() override
    {
        if (manager_ > 0) {
            kill(manager_, SIGTERM);
            waitpid(manager_, nullptr, 0);
        }
        X11Desktop::TearDown();
    }

    // Up once it has published its client list: it sets the check window
    // earlier, before it is ready to manage windows.
    bool ManagerIsUp()
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, root_, A("_NET_CLIENT_LIST"), 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &after, &data);
        const bool up = type == XA_WINDOW;
        if (data != nullptr) XFree(data);
        return up;
    }

    // Publishing its client list is not the end of the manager's start-up: a
    // window mapped a moment later can still go unmanaged. Ready is when a probe
    // window gets managed; a probe left alone is mapped again now and then.
    bool ManagesAWindow()
    {
        const Window probe = MakeWindow("probe");
        int polls = 0;
        const bool managed = WaitFor([&] {
            if (WmState(probe) == NormalState) return true;
            if (++polls % 20 == 0) {
                XUnmapWindow(display_, probe);
                XMapWindow(display_, probe);
                XSync(display_, False);
            }
            return false;
        });
        XDestroyWindow(display_, probe);
        XSync(display_, False);
        return managed && WaitFor([&] { return !Managed(probe); });
    }

    long WmState(Window w)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display_, w, A("WM_STATE"), 0, 2, False, A("WM_STATE"), &type, &format, &count, &after,
                           &data);
        long state = -1;
        if (data != nullptr && count > 0) state = reinterpret_cast<long*>(data)[0];
        if (data != nullptr) XFree(data);
        return state;
    }

    bool Managed(Window w)
    {
        const auto all = desktop_->EnumWindows();
        return std::find(all.begin(), all.end(), w) != all.end();
    }

    pid_t manager_ = -1;
};

}  // namespace kestrun::platform::linux_backend
