// A status item: an icon that the desktop's panel shows for the program, offered
// over the session bus to the panel's watcher (the StatusNotifierItem protocol
// that KDE, GNOME's AppIndicator extension, XFCE, Cinnamon, MATE and LXQt follow).
// Nothing here blocks: the owner polls PollFd() from its event loop and calls
// Process() when it is readable, writable as PollEvents() asks, or when
// PollTimeoutMs() has passed.
#pragma once

#include "platform/Types.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrun::platform {

enum class StatusItemState {
    Connecting,  // the bus has not yet said whether a watcher takes the item
    NoWatcher,   // no session bus, or no watcher on it: no panel shows the item
    Registered,  // a watcher took the item
};

struct StatusItemInfo {
    std::string id;        // a stable name for the program ("kestrun")
    std::string title;     // the program's name as panels show it
    std::string category;  // ApplicationStatus, Communications, SystemServices or Hardware
};

struct StatusItemEvents {
    std::function<void()> activate;      // the user clicked the item (primary activation)
    std::function<void()> stateChanged;  // state() or hostPresent() changed
};

class StatusItem {
public:
    virtual ~StatusItem() = default;

    // Connects to the session bus (busAddress empty: the user's own, as the
    // environment names it), claims a name, offers the item and looks for a
    // watcher. False, with the last error set, when there is no bus to connect to;
    // the state is then NoWatcher.
    virtual bool Start(const std::string& busAddress) = 0;
    // Leaves the bus; the watcher forgets the item. Start may be called again.
    virtual void Stop() = 0;

    // The icon in the sizes offered to panels (0xAARRGGBB pixels); panels are told
    // of every call.
    virtual void SetIcon(std::vector<Image> sizes) = 0;
    // The tooltip's text; panels are told of every call.
    virtual void SetToolTip(const std::string& text) = 0;

    [[nodiscard]] virtual StatusItemState state() const = 0;
    // Whether the watcher has a panel (a host) that shows items; meaningful while Registered.
    [[nodiscard]] virtual bool hostPresent() const = 0;

    // The descriptor to poll, -1 while not connected.
    [[nodiscard]] virtual int PollFd() const = 0;
    // poll(2) events to wait for on PollFd().
    [[nodiscard]] virtual short PollEvents() const = 0;
    // Milliseconds until Process() must run even without events; -1: no limit.
    [[nodiscard]] virtual int PollTimeoutMs() const = 0;
    // Handles everything that is pending, without waiting.
    virtual void Process() = 0;
};

// The item over sd-bus; without sd-bus at build time Start fails with ENOSYS.
std::unique_ptr<StatusItem> CreateStatusItem(StatusItemInfo info, StatusItemEvents events);

}  // namespace kestrun::platform
