// Asking logind (org.freedesktop.login1) over D-Bus to reboot the machine.
#pragma once

namespace kestrun::platform::linux_backend {

enum class LogindReply {
    Requested,    // logind accepted the reboot
    Refused,      // logind is there and said no (last error set)
    Unavailable,  // no bus, or no logind on it (last error set)
};

// busAddress: a D-Bus address such as "unix:path=/run/x/bus", or null for the
// system bus. Asks CanReboot first and calls Reboot only when it may.
LogindReply RequestRebootThroughLogind(const char* busAddress);

}  // namespace kestrun::platform::linux_backend
