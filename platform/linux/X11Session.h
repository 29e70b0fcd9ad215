// One Xlib connection of our own, with the atoms we use, typed property reads
// and a trap that turns X errors into recorded codes instead of an exit.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::platform::linux_backend {

struct X11Atoms {
    Atom netSupportingWmCheck, netClientList, netClientListStacking, netActiveWindow, netWmName, netWmPid,
        netWmIcon, netWmState, netWmStateHidden, netWmStateSkipTaskbar, netWmWindowType, netWmWindowTypeDesktop,
        netWmWindowTypeDock, netCloseWindow, utf8String, wmState, wmProtocols, wmDeleteWindow, wmChangeState,
        wmClientMachine;
};

class X11Session {
public:
    // Opens the display named by $DISPLAY; nullptr (last error set) without one.
    static std::unique_ptr<X11Session> Open();
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    Display* display() const { return display_; }
    Window root() const { return root_; }
    const X11Atoms& atoms() const { return atoms_; }

    // A whole property of 32-bit items (Xlib hands them over as longs).
    std::optional<std::vector<unsigned long>> Cardinals(Window window, Atom property, Atom type) const;
    std::optional<Window> WindowProperty(Window window, Atom property) const;
    // Raw bytes of an 8-bit property of the given type (AnyPropertyType allowed).
    std::optional<std::string> Bytes(Window window, Atom property, Atom type, Atom* actualType = nullptr) const;

private:
    X11Session(Display* display);
    Display* display_;
    Window root_;
    X11Atoms atoms_{};
};

// Records the X errors of one session while it lives; on destruction it waits
// for the server's answers (XSync) so every error of the calls made meanwhile
// has arrived, then puts back the handler that was there before. The handler
// is process-wide: only one trap at a time, on the calling thread.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Syncs and returns the first error code since the trap was set (0: none).
    int Sync();

private:
    Display* display_;
    XErrorHandler previous_;
};

// errno value for an X error code: a vanished window is ESRCH.
uint32_t ErrnoFromXError(int code);

}  // namespace kestrun::platform::linux_backend
