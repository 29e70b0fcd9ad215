// One X connection of our own for the whole program: opened through Xlib, its
// requests made through the XCB transport underneath, so that a refresh can send
// all its reads at once and wait for their answers once. XCB owns the event
// queue: no X error is ever fatal, every one is returned to the call that made
// the request or read from the queue as data.
#pragma once

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

namespace kestrun::platform::linux_backend {

struct X11Atoms {
    xcb_atom_t netSupportingWmCheck, netClientList, netClientListStacking, netActiveWindow, netWmName, netWmPid,
        netWmIcon, netWmState, netWmStateHidden, netWmStateSkipTaskbar, netWmWindowType, netWmWindowTypeDesktop,
        netWmWindowTypeDock, netCloseWindow, utf8String, compoundText, wmState, wmProtocols, wmDeleteWindow,
        wmChangeState, wmClientMachine, wmName, wmTransientFor, timestamp;
};

// What the connection has cost: requests sent and times the program waited
// for the server's answers.
struct X11Counters {
    uint64_t requests = 0;
    uint64_t roundTrips = 0;
};

class X11Session {
public:
    // Opens the display named by $DISPLAY; nullptr (last error set) without one.
    static std::unique_ptr<X11Session> Open();
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    Display* display() const { return display_; }
    xcb_connection_t* connection() const { return connection_; }
    xcb_window_t root() const { return root_; }
    const X11Atoms& atoms() const { return atoms_; }
    const std::string& hostName() const { return hostName_; }

    // False once the server has closed the connection.
    bool Healthy() const { return xcb_connection_has_error(connection_) == 0; }

    // Every request goes through Sent(), every wait for an answer through
    // WillWait(); the counters are what a test measures.
    template <typename Cookie>
    Cookie Sent(Cookie cookie)
    {
        ++counters_.requests;
        return cookie;
    }
    void WillWait();
    const X11Counters& counters() const { return counters_; }

    // Runs before every wait for the server, with the number of waits so far:
    // a test uses it to change the server's state between two round trips.
    void SetBeforeWait(std::function<void(uint64_t)> hook) { beforeWait_ = std::move(hook); }

    // Waits once for the answers to requests without a reply of their own; 0
    // when all succeeded, else the X error code of the first that failed.
    int Check(std::initializer_list<xcb_void_cookie_t> cookies);
    int Check(xcb_void_cookie_t cookie) { return Check({cookie}); }

    // Hands every event (and error of a request nobody waits for) that has
    // arrived to handler, without waiting for more.
    void DrainEvents(const std::function<void(const xcb_generic_event_t&)>& handler);

    // The server's current time, from a property change on a window of our own;
    // events that arrive meanwhile go to handler. CurrentTime (0) on failure.
    xcb_timestamp_t ServerTime(const std::function<void(const xcb_generic_event_t&)>& handler);

private:
    X11Session(Display* display);
    Display* display_;
    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_window_t clock_ = XCB_NONE;  // an unmapped input-only window whose property changes tell the time
    X11Atoms atoms_{};
    std::string hostName_;
    X11Counters counters_;
    std::function<void(uint64_t)> beforeWait_;
};

// errno value for an X error code: a vanished window is ESRCH.
uint32_t ErrnoFromXError(int code);

}  // namespace kestrun::platform::linux_backend
