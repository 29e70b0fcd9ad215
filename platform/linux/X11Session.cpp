#include "platform/linux/X11Session.h"

#include "platform/LastError.h"

#include <X11/Xatom.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace kestrun::platform::linux_backend {

namespace {

// The display whose errors are being trapped, and the first error seen.
Display* g_trapDisplay = nullptr;
int g_firstError = 0;
XErrorHandler g_previousHandler = nullptr;

int RecordError(Display* display, XErrorEvent* event)
{
    if (display == g_trapDisplay) {
        if (g_firstError == 0) g_firstError = event->error_code;
        return 0;
    }
    // Another connection's error (the toolkit's): its own handler decides.
    return g_previousHandler != nullptr ? g_previousHandler(display, event) : 0;
}

}  // namespace

std::unique_ptr<X11Session> X11Session::Open()
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') {
        Fail(ENXIO);  // no X display to talk to
        return nullptr;
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        Fail(ECONNREFUSED);
        return nullptr;
    }
    return std::unique_ptr<X11Session>(new X11Session(display));
}

X11Session::X11Session(Display* display) : display_(display), root_(DefaultRootWindow(display))
{
    static const char* const kNames[] = {
        "_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW",
        "_NET_WM_NAME", "_NET_WM_PID", "_NET_WM_ICON", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN",
        "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP",
        "_NET_WM_WINDOW_TYPE_DOCK", "_NET_CLOSE_WINDOW", "UTF8_STRING", "WM_STATE", "WM_PROTOCOLS",
        "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_CLIENT_MACHINE"};
    constexpr int kCount = sizeof kNames / sizeof kNames[0];
    static_assert(sizeof(X11Atoms) == kCount * sizeof(Atom));
    Atom values[kCount] = {};
    XInternAtoms(display_, const_cast<char**>(kNames), kCount, False, values);
    Atom* fields = reinterpret_cast<Atom*>(&atoms_);
    for (int i = 0; i < kCount; ++i) fields[i] = values[i];
}

X11Session::~X11Session() { XCloseDisplay(display_); }

std::optional<std::vector<unsigned long>> X11Session::Cardinals(Window window, Atom property, Atom type) const
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // Length in 32-bit units; 4 M units (16 MiB) is far beyond any real icon list.
    const int rc = XGetWindowProperty(display_, window, property, 0, 1L << 22, False, type, &actualType, &format,
                                      &count, &after, &data);
    if (rc != Success || data == nullptr) return std::nullopt;
    std::optional<std::vector<unsigned long>> result;
    if (format == 32 && (type == AnyPropertyType || actualType == type)) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        result.emplace(items, items + count);
    }
    XFree(data);
    return result;
}

std::optional<Window> X11Session::WindowProperty(Window window, Atom property) const
{
    const auto items = Cardinals(window, property, XA_WINDOW);
    if (!items || items->empty()) return std::nullopt;
    return static_cast<Window>(items->front());
}

std::optional<std::string> X11Session::Bytes(Window window, Atom property, Atom type, Atom* actualTypeOut) const
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(display_, window, property, 0, 1L << 16, False, type, &actualType, &format,
                                      &count, &after, &data);
    if (rc != Success || data == nullptr) return std::nullopt;
    std::optional<std::string> result;
    if (format == 8) result.emplace(reinterpret_cast<const char*>(data), count);
    XFree(data);
    if (actualTypeOut != nullptr) *actualTypeOut = actualType;
    return result;
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display)
{
    XSync(display_, False);  // errors of earlier requests are not ours to record
    g_trapDisplay = display_;
    g_firstError = 0;
    previous_ = XSetErrorHandler(RecordError);
    g_previousHandler = previous_;
}

X11ErrorTrap::~X11ErrorTrap()
{
    XSync(display_, False);
    XSetErrorHandler(previous_);
    g_trapDisplay = nullptr;
    g_previousHandler = nullptr;
}

int X11ErrorTrap::Sync()
{
    XSync(display_, False);
    return g_firstError;
}

uint32_t ErrnoFromXError(int code)
{
    switch (code) {
    case 0: return 0;
    case BadWindow:
    case BadDrawable: return ESRCH;
    case BadAccess: return EACCES;
    case BadMatch:
    case BadValue: return EINVAL;
    case BadAlloc: return ENOMEM;
    default: return EIO;
    }
}

}  // namespace kestrun::platform::linux_backend
