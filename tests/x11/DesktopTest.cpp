// The X11 desktop service against real windows made here with Xlib, on the
// private X server each test gets, with and without a window manager.
// GoogleTest before Xlib: Xlib's macros (None, Bool, Status) would break its templates.
#include <gtest/gtest.h>

#include "platform/linux/LinuxPlatform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrun::platform::linux_backend {
namespace {

// Polls until done() or about ten seconds have gone: a window manager acts
// on its own time.
template <typename Done>
bool WaitFor(Done done)
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
    std::unique_ptr<Desktop> desktop_ = CreateLinuxDesktop();
};

// --- No display --------------------------------------------------------------------------

TEST(DesktopWithoutDisplay, EveryCallFailsQuietly)
{
    for (const char* value : {static_cast<const char*>(nullptr), ":999"}) {
        const char* old = std::getenv("DISPLAY");
        const std::string saved = old != nullptr ? old : "";
        if (value != nullptr) setenv("DISPLAY", value, 1);
        else unsetenv("DISPLAY");
        auto desktop = CreateLinuxDesktop();
        SetLastError(0);
        EXPECT_FALSE(desktop->Available());
        EXPECT_NE(GetLastError(), 0u);
        EXPECT_TRUE(desktop->EnumWindows().empty());
        EXPECT_FALSE(desktop->FindWindowByTitle(L"Dravik Task Manager").has_value());
        EXPECT_FALSE(desktop->ShowWindow(0x400001, ShowCommand::ShowNormal));
        EXPECT_FALSE(desktop->SetForeground(0x400001));
        EXPECT_EQ(desktop->GetForeground(), 0u);
        if (old != nullptr) setenv("DISPLAY", saved.c_str(), 1);
    }
}

// --- Without a window manager ----------------------------------------------------------------

TEST_F(X11Desktop, FindsTheExactTitleOnly)
{
    MakeWindow("Dravik Task Manager 2");
    MakeWindow("Dravik Task");
    MakeWindow("dravik task manager");
    const Window wanted = MakeWindow("");
    SetLatin1Name(wanted, "Dravik Task Manager");  // an old client: WM_NAME only

    ASSERT_TRUE(desktop_->Available());
    const auto found = desktop_->FindWindowByTitle(L"Dravik Task Manager");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, wanted);
    EXPECT_FALSE(desktop_->FindWindowByTitle(L"Dravik").has_value());
    EXPECT_FALSE(desktop_->FindWindowByTitle(L"Dravik Task Manager 3").has_value());
}

TEST_F(X11Desktop, FindsAHiddenWindowAndShowsItAgain)
{
    const Window w = MakeWindow("Dravik Task Manager", /*map=*/false);
    const auto found = desktop_->FindWindowByTitle(L"Dravik Task Manager");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, w);
    EXPECT_FALSE(desktop_->IsVisible(w));

    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::ShowNormal));
    EXPECT_EQ(MapState(w), IsViewable);
    EXPECT_TRUE(desktop_->IsVisible(w));

    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::Hide));
    EXPECT_EQ(MapState(w), IsUnmapped);
    EXPECT_FALSE(desktop_->IsVisible(w));
    EXPECT_EQ(desktop_->FindWindowByTitle(L"Dravik Task Manager"), std::optional<WindowId>(w));
}

TEST_F(X11Desktop, TitlesDecodeUtf8AndLatin1)
{
    const Window utf8 = MakeWindow("Z\xC3\xA4hler \xE2\x9C\x93");
    const Window latin1 = MakeWindow("");
    SetLatin1Name(latin1, "Caf\xE9");
    EXPECT_EQ(desktop_->GetTitle(utf8), L"Z\u00e4hler \u2713");
    EXPECT_EQ(desktop_->GetTitle(latin1), L"Caf\u00e9");
    EXPECT_EQ(desktop_->FindWindowByTitle(L"Caf\u00e9"), std::optional<WindowId>(latin1));
}

TEST_F(X11Desktop, EnumeratesViewableTaskWindowsTopmostFirst)
{
    const Window a = MakeWindow("A");
    const Window b = MakeWindow("B");
    const Window hidden = MakeWindow("hidden", /*map=*/false);
    const Window menu = MakeWindow("menu", true, /*override=*/true);
    const Window skipped = MakeWindow("", false);
    SetCardinals(skipped, "_NET_WM_STATE", XA_ATOM, {static_cast<long>(A("_NET_WM_STATE_SKIP_TASKBAR"))});
    XMapWindow(display_, skipped);
    XRaiseWindow(display_, a);
    XSync(display_, False);

    const std::vector<Window> mine = {a, b, hidden, menu, skipped};
    EXPECT_EQ(Ours(desktop_->EnumWindows(), mine), (std::vector<WindowId>{a, b}));
    XRaiseWindow(display_, b);
    XSync(display_, False);
    EXPECT_EQ(Ours(desktop_->EnumWindows(), mine), (std::vector<WindowId>{b, a}));
}

TEST_F(X11Desktop, ForegroundWithoutAManagerIsTheInputFocus)
{
    const Window a = MakeWindow("A");
    const Window b = MakeWindow("B");
    XSync(display_, False);
    ASSERT_TRUE(desktop_->SetForeground(a));
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    EXPECT_EQ(focus, a);
    EXPECT_EQ(desktop_->GetForeground(), a);
    ASSERT_TRUE(desktop_->SetForeground(b));
    EXPECT_EQ(desktop_->GetForeground(), b);
}

TEST_F(X11Desktop, PostCloseSendsDeleteWindowToAWindowThatAsksForIt)
{
    const Window polite = MakeWindow("polite");
    Atom deleteWindow = A("WM_DELETE_WINDOW");
    XSetWMProtocols(display_, polite, &deleteWindow, 1);
    XSync(display_, False);
    ASSERT_TRUE(desktop_->PostClose(polite));

    XEvent event{};
    const bool received = WaitFor([&] {
        while (XCheckTypedWindowEvent(display_, polite, ClientMessage, &event))
            if (event.xclient.message_type == A("WM_PROTOCOLS")) return true;
        return false;
    });
    ASSERT_TRUE(received);
    EXPECT_EQ(static_cast<Atom>(event.xclient.data.l[0]), deleteWindow);

    // Nobody to ask for a window that takes no close request.
    const Window plain = MakeWindow("plain");
    SetLastError(0);
    EXPECT_FALSE(desktop_->PostClose(plain));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EOPNOTSUPP));
}

TEST_F(X11Desktop, ProcessIdIsTrustedFromLocalClientsAndAskedOfTheServerOtherwise)
{
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const Window bare = MakeWindow("bare");
    const Window local = MakeWindow("local");
    SetCardinals(local, "_NET_WM_PID", XA_CARDINAL, {4242});
    SetMachine(local, host);
    const Window remote = MakeWindow("remote");
    SetCardinals(remote, "_NET_WM_PID", XA_CARDINAL, {4242});
    SetMachine(remote, "elsewhere.invalid");

    EXPECT_EQ(desktop_->GetProcessId(local), 4242u);
#ifdef KESTRUN_HAVE_XRES
    // The windows were made over this process's connection.
    EXPECT_EQ(desktop_->GetProcessId(bare), static_cast<uint32_t>(getpid()));
    EXPECT_EQ(desktop_->GetProcessId(remote), static_cast<uint32_t>(getpid()));
#else
    EXPECT_NE(desktop_->GetProcessId(remote), 4242u);
    (void)bare;
#endif
}

TEST_F(X11Desktop, SmallIconIsTheEntryNearestSixteen)
{
    auto entry = [](long side, long argb) {
        std::vector<long> data = {side, side};
        data.insert(data.end(), static_cast<size_t>(side * side), argb);
        return data;
    };
    auto join = [](std::vector<std::vector<long>> parts) {
        std::vector<long> all;
        for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Window w = MakeWindow("iconic");
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL,
                 join({entry(32, 0xFF0000FF), entry(16, 0xFF00FF00), entry(48, 0xFFFF0000)}));
    auto icon = desktop_->GetSmallIcon(w);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->width, 16);
    EXPECT_EQ(icon->height, 16);
    ASSERT_EQ(icon->pixels.size(), 256u);
    EXPECT_EQ(icon->pixels.front(), 0xFF00FF00u);
    EXPECT_EQ(icon->pixels.back(), 0xFF00FF00u);

    // Equally near above and below: the larger one.
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL, join({entry(8, 0x11111111), entry(24, 0x22222222)}));
    icon = desktop_->GetSmallIcon(w);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->width, 24);

    // Claims more pixels than it carries.
    SetCardinals(w, "_NET_WM_ICON", XA_CARDINAL, {64, 64, 1, 2, 3});
    EXPECT_FALSE(desktop_->GetSmallIcon(w).has_value());
    XDeleteProperty(display_, w, A("_NET_WM_ICON"));
    XSync(display_, False);
    EXPECT_FALSE(desktop_->GetSmallIcon(w).has_value());
}

TEST_F(X11Desktop, OwnerIsTheTransientForWindow)
{
    const Window main = MakeWindow("main");
    const Window dialog = MakeWindow("dialog");
    XSetTransientForHint(display_, dialog, main);
    XSync(display_, False);
    EXPECT_EQ(desktop_->GetOwner(dialog), main);
    EXPECT_EQ(desktop_->GetOwner(main), 0u);
}

TEST_F(X11Desktop, AVanishedWindowIsAnErrorNotACrash)
{
    const Window w = MakeWindow("gone soon");
    ASSERT_TRUE(desktop_->Exists(w));
    XDestroyWindow(display_, w);
    XSync(display_, False);

    EXPECT_FALSE(desktop_->Exists(w));
    EXPECT_EQ(desktop_->GetTitle(w), L"");
    EXPECT_FALSE(desktop_->IsVisible(w));
    EXPECT_EQ(desktop_->GetOwner(w), 0u);
    EXPECT_FALSE(desktop_->GetSmallIcon(w).has_value());
    SetLastError(0);
    EXPECT_FALSE(desktop_->ShowWindow(w, ShowCommand::ShowNormal));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    EXPECT_FALSE(desktop_->SetForeground(w));
    EXPECT_FALSE(desktop_->PostClose(w));
    // The service still works afterwards.
    const Window next = MakeWindow("still here");
    EXPECT_EQ(desktop_->FindWindowByTitle(L"still here"), std::optional<WindowId>(next));
}

// --- With a window manager ------------------------------------------------------------------

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

TEST_F(X11DesktopWithManager, ListsManagedWindowsInTheManagersStackingOrder)
{
    const Window a = MakeWindow("A");
    const Window b = MakeWindow("B");
    ASSERT_TRUE(WaitFor([&] { return Managed(a) && Managed(b); }));
    ASSERT_TRUE(desktop_->SetForeground(a));
    ASSERT_TRUE(WaitFor([&] { return desktop_->GetForeground() == a; }));
    EXPECT_TRUE(WaitFor([&] { return Ours(desktop_->EnumWindows(), {a, b}) == std::vector<WindowId>{a, b}; }));
    ASSERT_TRUE(desktop_->SetForeground(b));
    EXPECT_TRUE(WaitFor([&] { return desktop_->GetForeground() == b; }));
    EXPECT_TRUE(WaitFor([&] { return Ours(desktop_->EnumWindows(), {a, b}) == std::vector<WindowId>{b, a}; }));
}

TEST_F(X11DesktopWithManager, HiddenWindowIsFoundShownAndBroughtToTheFront)
{
    const Window other = MakeWindow("Another program");
    const Window w = MakeWindow("Dravik Task Manager");
    ASSERT_TRUE(WaitFor([&] { return Managed(w) && Managed(other); }));

    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::Hide));
    ASSERT_TRUE(WaitFor([&] { return !desktop_->IsVisible(w) && !Managed(w); }));
    ASSERT_TRUE(desktop_->SetForeground(other));
    ASSERT_TRUE(WaitFor([&] { return desktop_->GetForeground() == other; }));

    // What a second copy of the program does.
    const auto found = desktop_->FindWindowByTitle(L"Dravik Task Manager");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, w);
    ASSERT_TRUE(desktop_->ShowWindow(*found, ShowCommand::ShowNormal));
    ASSERT_TRUE(desktop_->SetForeground(*found));
    EXPECT_TRUE(WaitFor([&] { return desktop_->IsVisible(w) && WmState(w) == NormalState; }));
    EXPECT_TRUE(WaitFor([&] {
        desktop_->SetForeground(w);  // the manager may still be mapping it when first asked
        return desktop_->GetForeground() == w;
    }));
}

TEST_F(X11DesktopWithManager, MinimisedWindowStaysATaskAndIsRestored)
{
    const Window w = MakeWindow("minimise me");
    ASSERT_TRUE(WaitFor([&] { return WmState(w) == NormalState; }));
    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::Minimize));
    ASSERT_TRUE(WaitFor([&] { return WmState(w) == IconicState; }));
    EXPECT_TRUE(desktop_->IsVisible(w));
    EXPECT_TRUE(Managed(w));
    ASSERT_TRUE(desktop_->ShowWindow(w, ShowCommand::ShowNormal));
    EXPECT_TRUE(WaitFor([&] { return WmState(w) == NormalState && MapState(w) == IsViewable; }));
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
