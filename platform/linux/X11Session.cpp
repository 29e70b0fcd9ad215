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

namespace {

// A property as Xlib hands it over; Xlib's copy is freed with this object.
struct PropertyData {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned char* data = nullptr;
    PropertyData() = default;
    PropertyData(const PropertyData&) = delete;
    PropertyData& operator=(const PropertyData&) = delete;
    ~PropertyData()
    {
        if (data != nullptr) XFree(data);
    }
};

// Reads up to `units` 32-bit units of a property; false when it cannot be read.
bool FetchProperty(Display* display, Window window, Atom property, Atom type, long units, PropertyData& out)
{
    unsigned long after = 0;
    const int rc = XGetWindowProperty(display, window, property, 0, units, False, type, &out.type, &out.format, &out.count,
                                      &after, &out.data);
    return rc == Success && out.data != nullptr;
}

}  // namespace

std::optional<std::vector<unsigned long>> X11Session::Cardinals(Window window, Atom property, Atom type) const
{
    PropertyData p;
    // 4 M units (16 MiB) is far beyond any real icon list.
    if (!FetchProperty(display_, window, property, type, 1L << 22, p)) return std::nullopt;
    if (p.format != 32 || (type != AnyPropertyType && p.type != type)) return std::nullopt;
    const auto* items = reinterpret_cast<const unsigned long*>(p.data);
    return std::vector<unsigned long>(items, items + p.count);
}

std::optional<Window> X11Session::WindowProperty(Window window, Atom property) const
{
    const auto items = Cardinals(window, property, XA_WINDOW);
    if (!items || items->empty()) return std::nullopt;
    return static_cast<Window>(items->front());
}

std::optional<std::string> X11Session::Bytes(Window window, Atom property, Atom type, Atom* actualTypeOut) const
{
    PropertyData p;
    if (!FetchProperty(display_, window, property, type, 1L << 16, p)) return std::nullopt;
    if (actualTypeOut != nullptr) *actualTypeOut = p.type;
    if (p.format != 8) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(p.data), p.count);
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
