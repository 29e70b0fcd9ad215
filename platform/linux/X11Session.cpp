#include "platform/linux/X11Session.h"

#include "platform/LastError.h"

#include <X11/Xlib-xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

struct FreeEvent {
    void operator()(xcb_generic_event_t* event) const { std::free(event); }
};
using EventPtr = std::unique_ptr<xcb_generic_event_t, FreeEvent>;

constexpr uint8_t kEventTypeMask = 0x7F;  // the top bit marks an event sent by another client

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
    // From here on Xlib reads no events of this connection: XCB hands them to us.
    XSetEventQueueOwner(display, XCBOwnsEventQueue);
    return std::unique_ptr<X11Session>(new X11Session(display));
}

X11Session::X11Session(Display* display)
    : display_(display), connection_(XGetXCBConnection(display)), root_(static_cast<xcb_window_t>(DefaultRootWindow(display)))
{
    static const char* const kNames[] = {
        "_NET_SUPPORTING_WM_CHECK", "_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW",
        "_NET_WM_NAME", "_NET_WM_PID", "_NET_WM_ICON", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN",
        "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DESKTOP",
        "_NET_WM_WINDOW_TYPE_DOCK", "_NET_CLOSE_WINDOW", "UTF8_STRING", "COMPOUND_TEXT", "WM_STATE", "WM_PROTOCOLS",
        "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_CLIENT_MACHINE", "WM_NAME", "WM_TRANSIENT_FOR",
        "_KESTRUN_TIMESTAMP"};
    constexpr size_t kCount = sizeof kNames / sizeof kNames[0];
    static_assert(sizeof(X11Atoms) == kCount * sizeof(xcb_atom_t));
    // All names in one round trip.
    xcb_intern_atom_cookie_t cookies[kCount];
    for (size_t i = 0; i < kCount; ++i)
        cookies[i] = Sent(xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(kNames[i])), kNames[i]));
    WillWait();
    xcb_atom_t* fields = reinterpret_cast<xcb_atom_t*>(&atoms_);
    for (size_t i = 0; i < kCount; ++i) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookies[i], nullptr);
        fields[i] = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) hostName_ = host;
}

X11Session::~X11Session() { XCloseDisplay(display_); }

void X11Session::WillWait()
{
    if (beforeWait_) beforeWait_(counters_.roundTrips);
    ++counters_.roundTrips;
}

int X11Session::Check(std::initializer_list<xcb_void_cookie_t> cookies)
{
    // The first check waits for the server; the server answers in order, so
    // the later ones are answered by then.
    WillWait();
    int first = 0;
    for (const xcb_void_cookie_t cookie : cookies) {
        xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
        if (error != nullptr) {
            if (first == 0) first = error->error_code;
            std::free(error);
        }
    }
    if (first == 0 && !Healthy()) first = -1;
    return first;
}

void X11Session::DrainEvents(const std::function<void(const xcb_generic_event_t&)>& handler)
{
    while (EventPtr event{xcb_poll_for_event(connection_)}) handler(*event);
}

xcb_timestamp_t X11Session::ServerTime(const std::function<void(const xcb_generic_event_t&)>& handler)
{
    if (clock_ == XCB_NONE) {
        clock_ = xcb_generate_id(connection_);
        // Values in the order of their mask bits: override-redirect, then the event mask.
        const uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
        Sent(xcb_create_window(connection_, 0, clock_, root_, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                               XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values));
    }
    // Appending nothing changes nothing but still tells us when it happened.
    Sent(xcb_change_property(connection_, XCB_PROP_MODE_APPEND, clock_, atoms_.timestamp, XCB_ATOM_STRING, 8, 0,
                             nullptr));
    xcb_flush(connection_);
    WillWait();
    while (EventPtr event{xcb_wait_for_event(connection_)}) {
        if ((event->response_type & kEventTypeMask) == XCB_PROPERTY_NOTIFY) {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
            if (notify.window == clock_ && notify.atom == atoms_.timestamp) return notify.time;
        }
        handler(*event);
    }
    return XCB_CURRENT_TIME;  // the connection broke
}

uint32_t ErrnoFromXError(int code)
{
    switch (code) {
    case 0: return 0;
    case XCB_WINDOW:
    case XCB_DRAWABLE: return ESRCH;
    case XCB_ACCESS: return EACCES;
    case XCB_MATCH:
    case XCB_VALUE: return EINVAL;
    case XCB_ALLOC: return ENOMEM;
    case -1: return EPIPE;  // the connection is gone
    default: return EIO;
    }
}

}  // namespace kestrun::platform::linux_backend
