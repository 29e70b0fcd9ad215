#include "platform/linux/LogindReboot.h"

#include "platform/LastError.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#ifdef KESTRUN_HAVE_SYSTEMD
#include <systemd/sd-bus.h>
#endif

namespace kestrun::platform::linux_backend {

#ifdef KESTRUN_HAVE_SYSTEMD
namespace {

constexpr const char* kDestination = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusCloser>;

// RAII for sd_bus_error and reply messages.
struct CallState {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    ~CallState()
    {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }
};

BusPtr OpenBus(const char* address)
{
    sd_bus* bus = nullptr;
    int r = 0;
    if (address == nullptr) {
        r = sd_bus_open_system(&bus);
    } else {
        r = sd_bus_new(&bus);
        if (r >= 0) r = sd_bus_set_address(bus, address);
        if (r >= 0) r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0) r = sd_bus_start(bus);
    }
    if (r < 0) {
        sd_bus_unref(bus);
        errno = -r;
        return nullptr;
    }
    return BusPtr(bus);
}

// The name has no owner, or the owner does not know the method: logind is not there.
bool MeansNoLogind(const sd_bus_error& error)
{
    return sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD) ||
           sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT);
}

LogindReply FailedCall(int r, const sd_bus_error& error)
{
    const int code = sd_bus_error_is_set(&error) ? sd_bus_error_get_errno(&error) : -r;
    Fail(static_cast<uint32_t>(code > 0 ? code : EIO));
    return MeansNoLogind(error) ? LogindReply::Unavailable : LogindReply::Refused;
}

}  // namespace

LogindReply RequestRebootThroughLogind(const char* busAddress)
{
    BusPtr bus = OpenBus(busAddress);
    if (!bus) {
        FailWithErrno();
        return LogindReply::Unavailable;
    }

    // "yes" may reboot, "challenge" may after polkit asks the user; "no" and
    // "na" are refusals that a direct reboot(2) must not get around.
    std::string answer;
    {
        CallState call;
        const int r = sd_bus_call_method(bus.get(), kDestination, kPath, kInterface, "CanReboot", &call.error,
                                         &call.reply, "");
        if (r < 0) return FailedCall(r, call.error);
        const char* text = nullptr;
        const int rr = sd_bus_message_read(call.reply, "s", &text);
        if (rr < 0 || text == nullptr) {
            Fail(static_cast<uint32_t>(rr < 0 ? -rr : EBADMSG));
            return LogindReply::Refused;
        }
        answer = text;
    }
    const bool interactive = answer == "challenge";
    if (answer != "yes" && !interactive) {
        Fail(answer == "na" ? EOPNOTSUPP : EPERM);
        return LogindReply::Refused;
    }
    if (interactive) sd_bus_set_allow_interactive_authorization(bus.get(), 1);

    CallState call;
    const int r = sd_bus_call_method(bus.get(), kDestination, kPath, kInterface, "Reboot", &call.error, &call.reply,
                                     "b", interactive ? 1 : 0);
    if (r < 0) return FailedCall(r, call.error);
    return LogindReply::Requested;
}

#else

LogindReply RequestRebootThroughLogind(const char*)
{
    Fail(ENOSYS);
    return LogindReply::Unavailable;
}

#endif

}  // namespace kestrun::platform::linux_backend
