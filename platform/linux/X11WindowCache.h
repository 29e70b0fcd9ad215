// What the desktop service knows of each window it has looked at, kept between
// refreshes. Every window read is watched (property and structure events), so a
// refresh reads again only the windows that changed since; windows seen for the
// first time are read together, in one round trip.
#pragma once

#include "platform/Types.h"
#include "platform/linux/X11Session.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrun::platform::linux_backend {

struct X11WindowRecord {
    xcb_window_t id = XCB_NONE;
    bool watched = false;       // our event mask is set on it
    bool fresh = false;         // read, and no change seen since
    uint32_t readSequence = 0;  // first request of the last read: events before it are already in what was read
    bool overrideRedirect = false;
    bool inputOnly = false;
    bool topLevel = false;      // listed by the last enumeration
    uint8_t mapState = XCB_MAP_STATE_UNMAPPED;
    std::optional<uint32_t> wmState;           // WM_STATE as a window manager sets it
    std::wstring title;
    std::optional<xcb_window_t> transientFor;  // set when WM_TRANSIENT_FOR is there (None and the root included)
    std::vector<xcb_atom_t> types;             // _NET_WM_WINDOW_TYPE
    std::vector<xcb_atom_t> states;            // _NET_WM_STATE
    uint32_t claimedPid = 0;                   // _NET_WM_PID: what the client says of itself
    std::string clientMachine;                 // WM_CLIENT_MACHINE
    bool deletable = false;                    // WM_PROTOCOLS lists WM_DELETE_WINDOW

    bool iconFresh = false;
    uint32_t iconSequence = 0;
    int iconSide = 0;
    std::optional<Image> icon;

    // A child of the root under a manager without EWMH is a frame: the client
    // window inside it is the one carrying WM_STATE.
    bool clientResolved = false;
    xcb_window_t client = XCB_NONE;

    uint32_t serverPid = 0;  // the X server's word on the client's process, once asked
};

class X11WindowCache {
public:
    explicit X11WindowCache(X11Session& session) : session_(session) {}

    // Reads every window of the list that is new or changed, all in one round trip;
    // windows that turn out to be gone are forgotten.
    void Update(const std::vector<xcb_window_t>& windows);
    // The record of a window, read now when it is not fresh; null when the window is gone.
    X11WindowRecord* Get(xcb_window_t window);
    [[nodiscard]] X11WindowRecord* Find(xcb_window_t window);
    void Erase(xcb_window_t window) { records_.erase(window); }

    // Reads the icons of the given windows that are not known at this size, in one round trip.
    void UpdateIcons(const std::vector<xcb_window_t>& windows, int side);

    // Events mark what they change as stale; a vanished window is forgotten.
    void HandleEvent(const xcb_generic_event_t& event);
    void DrainEvents();

    // Stops watching every window and forgets them all.
    void Clear();

    // Forgets which client each frame holds (after a reparenting).
    void ForgetClients();

    [[nodiscard]] size_t size() const { return records_.size(); }

private:
    X11Session& session_;
    std::unordered_map<xcb_window_t, X11WindowRecord> records_;
};

// True when an event with this sequence number was sent after the server read
// the request with sequence `read`.
inline bool SentAfterRead(uint32_t eventSequence, uint32_t read)
{
    return static_cast<int32_t>(eventSequence - read) >= 0;
}

}  // namespace kestrun::platform::linux_backend
