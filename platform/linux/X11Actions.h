// What the desktop service asks of other clients' windows and of the window
// manager: requests and client messages, each checked by the server, so that a
// vanished window comes back as an error code (0: done).
#pragma once

#include "platform/linux/X11Session.h"

#include <array>

namespace kestrun::platform::linux_backend {

constexpr uint32_t kWithdrawnState = 0;
constexpr uint32_t kNormalState = 1;
constexpr uint32_t kIconicState = 3;
constexpr uint32_t kSourcePager = 2;  // EWMH source indication: a pager or task list

// A client message to the root, where the window manager listens for requests about window.
int SendToRoot(X11Session& s, xcb_window_t window, xcb_atom_t type, const std::array<uint32_t, 5>& data);
// WM_DELETE_WINDOW, sent to the window itself.
int SendDeleteWindow(X11Session& s, xcb_window_t window, xcb_timestamp_t time);
// The manager makes the window the active one (and de-iconifies it).
int Activate(X11Session& s, xcb_window_t window, xcb_timestamp_t time);
// Without a manager: map, raise and give it the input focus.
int MapRaiseAndFocus(X11Session& s, xcb_window_t window, xcb_timestamp_t time);
// Mapped and on top; with a manager also taken out of the hidden state.
int MapRaised(X11Session& s, xcb_window_t window, bool hasManager);
// Unmapped and handed back by the manager (ICCCM withdrawal).
int Withdraw(X11Session& s, xcb_window_t window);
// The ICCCM request to iconify, which a manager carries out (nothing happens without one).
int Iconify(X11Session& s, xcb_window_t window);

}  // namespace kestrun::platform::linux_backend
