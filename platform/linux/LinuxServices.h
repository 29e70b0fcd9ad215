// The service manager on Linux: systemd over D-Bus, or the init scripts when no
// service manager answers on the system bus (no bus, or no systemd on it, as in
// many containers). The choice is made at the first question and kept.
#pragma once

#include "platform/Services.h"
#include "platform/linux/DpkgIndex.h"
#include "platform/linux/LinuxServiceKeys.h"
#include "platform/linux/LsbServices.h"
#include "platform/linux/SystemdServices.h"

#include <memory>

namespace kestrun::platform::linux_backend {

class LinuxServices final : public ServiceManager {
public:
    LinuxServices(std::unique_ptr<SystemdServices> systemd, std::unique_ptr<LsbServices> scripts,
                  std::shared_ptr<DpkgIndex> packages);

    std::optional<std::vector<ServiceEntry>> EnumServices() override;
    bool Control(const std::wstring& prefix, ServiceControl code) override;
    ServiceKeys& Keys() override { return keys_; }

    // "systemd", "init scripts", or empty before the first question.
    [[nodiscard]] const char* SourceName() const;

private:
    // The source that answers, chosen at the first call; null (last error set) while systemd cannot be asked.
    ServiceSource* Source(std::optional<std::vector<LinuxService>>& firstList);

    std::unique_ptr<SystemdServices> systemd_;
    std::unique_ptr<LsbServices> scripts_;
    ServiceSource* chosen_ = nullptr;
    LinuxServiceKeys keys_;
};

}  // namespace kestrun::platform::linux_backend
