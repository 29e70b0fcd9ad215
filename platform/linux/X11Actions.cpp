#include "platform/linux/X11Actions.h"

#include <cstring>

namespace kestrun::platform::linux_backend {

namespace {

constexpr uint32_t kNetWmStateRemove = 0;
constexpr uint32_t kRootRequestMask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;

xcb_client_message_event_t Message(xcb_window_t window, xcb_atom_t type, const std::array<uint32_t, 5>& data)
{
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    for (size_t i = 0; i < data.size(); ++i) event.data.data32[i] = data[i];
    return event;
}

}  // namespace

int SendToRoot(X11Session& s, xcb_window_t window, xcb_atom_t type, const std::array<uint32_t, 5>& data)
{
    const xcb_client_message_event_t event = Message(window, type, data);
    return s.Check(s.Sent(xcb_send_event_checked(s.connection(), 0, s.root(), kRootRequestMask,
                                                 reinterpret_cast<const char*>(&event))));
}

int SendDeleteWindow(X11Session& s, xcb_window_t window, xcb_timestamp_t time)
{
    const xcb_client_message_event_t event =
        Message(window, s.atoms().wmProtocols, {s.atoms().wmDeleteWindow, time, 0, 0, 0});
    return s.Check(s.Sent(
        xcb_send_event_checked(s.connection(), 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event))));
}

int Activate(X11Session& s, xcb_window_t window, xcb_timestamp_t time)
{
    // A request from a task list (source 2) is one managers honour without focus-stealing checks.
    return SendToRoot(s, window, s.atoms().netActiveWindow, {kSourcePager, time, 0, 0, 0});
}

int MapRaiseAndFocus(X11Session& s, xcb_window_t window, xcb_timestamp_t time)
{
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    // In this order on one connection: the window is viewable when the focus request comes.
    const auto map = s.Sent(xcb_map_window_checked(s.connection(), window));
    const auto raise = s.Sent(xcb_configure_window_checked(s.connection(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above));
    const auto focus = s.Sent(xcb_set_input_focus_checked(s.connection(), XCB_INPUT_FOCUS_PARENT, window, time));
    return s.Check({map, raise, focus});
}

int MapRaised(X11Session& s, xcb_window_t window, bool hasManager)
{
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    const auto map = s.Sent(xcb_map_window_checked(s.connection(), window));
    const auto raise = s.Sent(xcb_configure_window_checked(s.connection(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above));
    int error = s.Check({map, raise});
    if (error == 0 && hasManager) {
        // Mapping asks the manager to de-iconify; the hidden flag and the state
        // change cover managers that need telling explicitly.
        error = SendToRoot(s, window, s.atoms().netWmState, {kNetWmStateRemove, s.atoms().netWmStateHidden, 0, kSourcePager, 0});
        if (error == 0) error = SendToRoot(s, window, s.atoms().wmChangeState, {kNormalState, 0, 0, 0, 0});
    }
    return error;
}

int Withdraw(X11Session& s, xcb_window_t window)
{
    const int error = s.Check(s.Sent(xcb_unmap_window_checked(s.connection(), window)));
    if (error != 0) return error;
    // ICCCM 4.1.4: a synthetic UnmapNotify to the root tells the manager to let go of the window.
    xcb_unmap_notify_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_UNMAP_NOTIFY;
    event.event = s.root();
    event.window = window;
    event.from_configure = 0;
    char wire[32] = {};  // every event travels as 32 bytes
    static_assert(sizeof event <= sizeof wire);
    std::memcpy(wire, &event, sizeof event);
    return s.Check(s.Sent(xcb_send_event_checked(s.connection(), 0, s.root(), kRootRequestMask, wire)));
}

int Iconify(X11Session& s, xcb_window_t window)
{
    return SendToRoot(s, window, s.atoms().wmChangeState, {kIconicState, 0, 0, 0, 0});
}

}  // namespace kestrun::platform::linux_backend
