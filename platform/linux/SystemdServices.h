// The services of systemd, asked over D-Bus (sd-bus): the units of type service
// that are loaded, with the installed ones that are not, and their control
// through jobs.
#pragma once

#include "platform/linux/ServiceSource.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace kestrun::platform::linux_backend {

struct SystemdOptions {
    std::string busAddress;                        // a D-Bus address; empty: the system bus
    std::chrono::milliseconds callTimeout{5000};   // an enumeration or property call
    std::chrono::milliseconds jobTimeout{90000};   // a control call and the job it starts
};

// systemd's ActiveState of a unit as a service state code.
int32_t ServiceStateOfActiveState(std::string_view activeState);

class SystemdServices final : public ServiceSource {
public:
    explicit SystemdServices(SystemdOptions options = {});
    ~SystemdServices() override;
    SystemdServices(const SystemdServices&) = delete;
    SystemdServices& operator=(const SystemdServices&) = delete;

    std::optional<std::vector<LinuxService>> List() override;
    // Start, stop and reload ("replace" mode) wait for their job's JobRemoved.
    // Authorization may be interactive: polkit asks a user who is not root.
    bool Control(const std::string& name, ServiceControl code) override;

    // After a failed call: true when there is no service manager at all (no bus,
    // or nobody owns systemd's name), so that another source may stand in.
    [[nodiscard]] bool Absent() const { return absent_; }

    struct Bus;  // the connection and what was read of the units, defined with the code

private:
    std::unique_ptr<Bus> bus_;
    bool absent_ = false;
};

}  // namespace kestrun::platform::linux_backend
