// The desktop on X11: other clients' top-level windows through EWMH when a
// window manager is there, through the window tree when not. The display is
// opened on first use; without one every call fails quietly.
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#ifdef KESTRUN_HAVE_XRES
#include <X11/extensions/XRes.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

constexpr long kNormalState = 1;
constexpr long kIconicState = 3;
constexpr long kSourcePager = 2;  // EWMH source indication: a pager or task list
constexpr long kNetWmStateRemove = 0;

std::wstring Latin1ToWide(const std::string& bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    for (const unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
    return out;
}

// A text property ends at its first NUL (a list of strings keeps only the first).
std::string FirstString(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

class LinuxDesktop final : public Desktop {
public:
    bool Available() override { return Session() != nullptr; }

    std::vector<WindowId> EnumWindows() override
    {
        X11Session* s = Session();
        if (s == nullptr) return {};
        X11ErrorTrap trap(s->display());
        std::vector<Window> bottomToTop;
        if (HasWindowManager(*s)) {
            auto list = s->Cardinals(s->root(), s->atoms().netClientListStacking, XA_WINDOW);
            if (!list) list = s->Cardinals(s->root(), s->atoms().netClientList, XA_WINDOW);
            if (list) bottomToTop.assign(list->begin(), list->end());
        } else {
            for (const Window child : RootChildren(*s)) {
                XWindowAttributes attributes{};
                if (!XGetWindowAttributes(s->display(), child, &attributes)) continue;  // gone meanwhile
                if (attributes.map_state != IsViewable || attributes.override_redirect) continue;
                bottomToTop.push_back(ClientOf(*s, child).value_or(child));
            }
        }
        std::vector<WindowId> topmostFirst;
        for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend(); ++it)
            if (IsTaskCandidate(*s, *it)) topmostFirst.push_back(*it);
        return topmostFirst;
    }

    bool Exists(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr || window == 0) return false;
        X11ErrorTrap trap(s->display());
        XWindowAttributes attributes{};
        return XGetWindowAttributes(s->display(), window, &attributes) != 0 && trap.Sync() == 0;
    }

    std::wstring GetTitle(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr || window == 0) return {};
        X11ErrorTrap trap(s->display());
        return TitleOf(*s, window);
    }

    // A window the user can reach: mapped, or minimised (iconic), but not
    // withdrawn. A minimised window is still a visible task.
    bool IsVisible(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr || window == 0) return false;
        X11ErrorTrap trap(s->display());
        if (const auto state = s->Cardinals(window, s->atoms().wmState, s->atoms().wmState); state && !state->empty())
            return (*state)[0] == kNormalState || (*state)[0] == kIconicState;
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(s->display(), window, &attributes) || trap.Sync() != 0) return false;
        return attributes.map_state != IsUnmapped;
    }

    WindowId GetOwner(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr || window == 0) return 0;
        X11ErrorTrap trap(s->display());
        Window owner = None;
        if (!XGetTransientForHint(s->display(), window, &owner) || trap.Sync() != 0) return 0;
        return owner;
    }

    uint32_t GetProcessId(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr || window == 0) return 0;
        X11ErrorTrap trap(s->display());
        // _NET_WM_PID is what the client says about itself: only a number of
        // this machine's process table when the client runs here.
        if (IsLocalClient(*s, window)) {
            const auto pid = s->Cardinals(window, s->atoms().netWmPid, XA_CARDINAL);
            if (pid && !pid->empty() && (*pid)[0] > 0 && (*pid)[0] <= INT_MAX) return static_cast<uint32_t>((*pid)[0]);
        }
#ifdef KESTRUN_HAVE_XRES
        // The server knows the peer of every local connection.
        XResClientIdSpec spec{};
        spec.client = window;
        spec.mask = XRES_CLIENT_ID_PID_MASK;
        long count = 0;
        XResClientIdValue* values = nullptr;
        uint32_t result = 0;
        if (XResQueryClientIds(s->display(), 1, &spec, &count, &values) == Success) {
            for (long i = 0; i < count && result == 0; ++i) {
                const pid_t pid = XResGetClientPid(&values[i]);
                if (pid > 0) result = static_cast<uint32_t>(pid);
            }
            XResClientIdsDestroy(count, values);
        }
        if (result != 0) return result;
#endif
        Fail(ESRCH);
        return 0;
    }

    std::optional<Image> GetSmallIcon(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr || window == 0) return std::nullopt;
        X11ErrorTrap trap(s->display());
        const auto data = s->Cardinals(window, s->atoms().netWmIcon, XA_CARDINAL);
        if (!data) return std::nullopt;
        return NearestIcon(*data, 16);
    }

    WindowId GetForeground() override
    {
        X11Session* s = Session();
        if (s == nullptr) return 0;
        X11ErrorTrap trap(s->display());
        if (HasWindowManager(*s)) {
            const auto active = s->WindowProperty(s->root(), s->atoms().netActiveWindow);
            return active.value_or(0);
        }
        Window focus = None;
        int revert = 0;
        XGetInputFocus(s->display(), &focus, &revert);
        if (focus == None || focus == PointerRoot || focus == s->root()) return 0;
        const Window top = TopLevelOf(*s, focus);
        return top == None ? 0 : ClientOf(*s, top).value_or(top);
    }

    std::optional<WindowId> FindWindowByTitle(const std::wstring& title) override
    {
        X11Session* s = Session();
        if (s == nullptr) return std::nullopt;
        X11ErrorTrap trap(s->display());
        // Managed windows first, then every child of the root (a window its
        // client has hidden is withdrawn and back there, unmapped), then the
        // client inside each frame of a window manager.
        std::vector<Window> candidates;
        if (const auto list = s->Cardinals(s->root(), s->atoms().netClientList, XA_WINDOW))
            candidates.assign(list->begin(), list->end());
        const std::vector<Window> children = RootChildren(*s);
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            candidates.push_back(*it);
            if (const auto client = ClientOf(*s, *it); client && *client != *it) candidates.push_back(*client);
        }
        for (const Window candidate : candidates)
            if (TitleOf(*s, candidate) == title) return candidate;
        return std::nullopt;
    }

    bool ShowWindow(WindowId window, ShowCommand command) override
    {
        X11Session* s = Session();
        if (s == nullptr) return false;
        if (window == 0) return Fail(EINVAL);
        X11ErrorTrap trap(s->display());
        Display* d = s->display();
        switch (command) {
        case ShowCommand::Hide:
            // Withdraw: unmap and tell the window manager, which then lets go of it.
            XWithdrawWindow(d, window, DefaultScreen(d));
            break;
        case ShowCommand::Minimize:
            XIconifyWindow(d, window, DefaultScreen(d));
            break;
        case ShowCommand::ShowNormal:
        case ShowCommand::Show:
            // Mapping brings a withdrawn window back and asks the window
            // manager to de-iconify a minimised one; the hidden flag and the
            // state change cover managers that need telling explicitly.
            XMapRaised(d, window);
            if (HasWindowManager(*s)) {
                SendToRoot(*s, window, s->atoms().netWmState,
                           {kNetWmStateRemove, static_cast<long>(s->atoms().netWmStateHidden), 0, kSourcePager, 0});
                SendToRoot(*s, window, s->atoms().wmChangeState, {kNormalState, 0, 0, 0, 0});
            }
            break;
        }
        const int error = trap.Sync();
        return error == 0 ? true : Fail(ErrnoFromXError(error));
    }

    bool SetForeground(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr) return false;
        if (window == 0) return Fail(EINVAL);
        X11ErrorTrap trap(s->display());
        if (HasWindowManager(*s)) {
            // The window manager decides focus; a request from a task list (source
            // 2) is one it honours without focus-stealing checks.
            SendToRoot(*s, window, s->atoms().netActiveWindow, {kSourcePager, CurrentTime, 0, 0, 0});
        } else {
            XRaiseWindow(s->display(), window);
            XSetInputFocus(s->display(), window, RevertToParent, CurrentTime);
        }
        const int error = trap.Sync();
        return error == 0 ? true : Fail(ErrnoFromXError(error));
    }

    bool PostClose(WindowId window) override
    {
        X11Session* s = Session();
        if (s == nullptr) return false;
        if (window == 0) return Fail(EINVAL);
        X11ErrorTrap trap(s->display());
        Display* d = s->display();
        Atom* protocols = nullptr;
        int count = 0;
        bool deletable = false;
        if (XGetWMProtocols(d, window, &protocols, &count)) {
            deletable = std::find(protocols, protocols + count, s->atoms().wmDeleteWindow) != protocols + count;
            XFree(protocols);
        }
        if (deletable) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = s->atoms().wmProtocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(s->atoms().wmDeleteWindow);
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(d, window, False, NoEventMask, &event);
        } else if (HasWindowManager(*s)) {
            SendToRoot(*s, window, s->atoms().netCloseWindow, {CurrentTime, kSourcePager, 0, 0, 0});
        } else {
            const int error = trap.Sync();
            return Fail(error != 0 ? ErrnoFromXError(error) : EOPNOTSUPP);  // no polite way to ask
        }
        const int error = trap.Sync();
        return error == 0 ? true : Fail(ErrnoFromXError(error));
    }

private:
    X11Session* Session()
    {
        if (!session_) session_ = X11Session::Open();  // tried again on the next call after a failure
        return session_.get();
    }

    // A manager is there when the root's check window carries the same check.
    static bool HasWindowManager(const X11Session& s)
    {
        const auto check = s.WindowProperty(s.root(), s.atoms().netSupportingWmCheck);
        if (!check || *check == None) return false;
        const auto self = s.WindowProperty(*check, s.atoms().netSupportingWmCheck);
        return self && *self == *check;
    }

    static std::vector<Window> RootChildren(const X11Session& s)  // bottom to top
    {
        Window rootReturn = None, parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        std::vector<Window> result;
        if (XQueryTree(s.display(), s.root(), &rootReturn, &parent, &children, &count) && children != nullptr) {
            result.assign(children, children + count);
            XFree(children);
        }
        return result;
    }

    static bool HasWmState(const X11Session& s, Window window)
    {
        const auto state = s.Cardinals(window, s.atoms().wmState, s.atoms().wmState);
        return state && !state->empty();
    }

    // The client window inside a frame: the window itself when it carries
    // WM_STATE, else the first descendant that does (breadth first, a few levels).
    static std::optional<Window> ClientOf(const X11Session& s, Window window)
    {
        std::vector<Window> level = {window};
        for (int depth = 0; depth < 4 && !level.empty(); ++depth) {
            std::vector<Window> next;
            for (const Window w : level) {
                if (HasWmState(s, w)) return w;
                Window rootReturn = None, parent = None;
                Window* children = nullptr;
                unsigned count = 0;
                if (XQueryTree(s.display(), w, &rootReturn, &parent, &children, &count) && children != nullptr) {
                    next.insert(next.end(), children, children + count);
                    XFree(children);
                }
            }
            level = std::move(next);
        }
        return std::nullopt;
    }

    // The child of the root that holds window.
    static Window TopLevelOf(const X11Session& s, Window window)
    {
        for (int depth = 0; depth < 64; ++depth) {
            Window rootReturn = None, parent = None;
            Window* children = nullptr;
            unsigned count = 0;
            if (!XQueryTree(s.display(), window, &rootReturn, &parent, &children, &count)) return None;
            if (children != nullptr) XFree(children);
            if (parent == rootReturn || parent == None) return window;
            window = parent;
        }
        return None;
    }

    // Docks, the desktop window and windows that ask to stay off task lists
    // are not tasks, though they are visible, titled and unowned.
    static bool IsTaskCandidate(const X11Session& s, Window window)
    {
        const X11Atoms& a = s.atoms();
        if (const auto types = s.Cardinals(window, a.netWmWindowType, XA_ATOM))
            for (const unsigned long type : *types)
                if (type == a.netWmWindowTypeDesktop || type == a.netWmWindowTypeDock) return false;
        if (const auto states = s.Cardinals(window, a.netWmState, XA_ATOM))
            for (const unsigned long state : *states)
                if (state == a.netWmStateSkipTaskbar) return false;
        return true;
    }

    static std::wstring TitleOf(const X11Session& s, Window window)
    {
        if (const auto utf8 = s.Bytes(window, s.atoms().netWmName, s.atoms().utf8String); utf8 && !utf8->empty())
            return Widen(FirstString(*utf8));
        Atom type = None;
        const auto raw = s.Bytes(window, XA_WM_NAME, AnyPropertyType, &type);
        if (!raw || raw->empty()) return {};
        if (type == XA_STRING) return Latin1ToWide(FirstString(*raw));
        if (type == s.atoms().utf8String) return Widen(FirstString(*raw));
        // COMPOUND_TEXT and the like: let Xlib convert it.
        XTextProperty property{};
        property.value = reinterpret_cast<unsigned char*>(const_cast<char*>(raw->data()));
        property.encoding = type;
        property.format = 8;
        property.nitems = raw->size();
        char** list = nullptr;
        int count = 0;
        std::wstring title;
        if (Xutf8TextPropertyToTextList(s.display(), &property, &list, &count) >= Success && list != nullptr) {
            if (count > 0 && list[0] != nullptr) title = Widen(list[0]);
            XFreeStringList(list);
        } else {
            title = Latin1ToWide(FirstString(*raw));
        }
        return title;
    }

    static bool IsLocalClient(const X11Session& s, Window window)
    {
        const auto machine = s.Bytes(window, s.atoms().wmClientMachine, AnyPropertyType);
        if (!machine) return false;
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) != 0) return false;
        return FirstString(*machine) == host;
    }

    static void SendToRoot(const X11Session& s, Window window, Atom type, const std::array<long, 5>& data)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = type;
        event.xclient.format = 32;
        for (size_t i = 0; i < data.size(); ++i) event.xclient.data.l[i] = data[i];
        XSendEvent(s.display(), s.root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }

    // _NET_WM_ICON is a list of (width, height, width*height ARGB pixels); the
    // entry nearest size x size wins, a larger one on a tie (it scales down better).
    static std::optional<Image> NearestIcon(const std::vector<unsigned long>& data, int size)
    {
        constexpr unsigned long kMaxSide = 1024;
        std::optional<size_t> best;
        long bestDistance = LONG_MAX;
        unsigned long bestSide = 0;
        size_t at = 0;
        while (at + 2 <= data.size()) {
            const unsigned long w = data[at], h = data[at + 1];
            if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || w * h > data.size() - at - 2) break;  // malformed
            const long distance = std::labs(static_cast<long>(w) - size) + std::labs(static_cast<long>(h) - size);
            if (distance < bestDistance || (distance == bestDistance && w > bestSide)) {
                best = at;
                bestDistance = distance;
                bestSide = w;
            }
            at += 2 + w * h;
        }
        if (!best) return std::nullopt;
        Image image;
        image.width = static_cast<int>(data[*best]);
        image.height = static_cast<int>(data[*best + 1]);
        image.pixels.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
        for (size_t i = 0; i < static_cast<size_t>(image.width) * static_cast<size_t>(image.height); ++i)
            image.pixels.push_back(static_cast<uint32_t>(data[*best + 2 + i]));  // 32 bits carried in a long
        return image;
    }

    std::unique_ptr<X11Session> session_;
};

}  // namespace

std::unique_ptr<Desktop> CreateLinuxDesktop() { return std::make_unique<LinuxDesktop>(); }

}  // namespace kestrun::platform::linux_backend
