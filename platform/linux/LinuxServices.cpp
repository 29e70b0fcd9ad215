#include "platform/linux/LinuxServices.h"

#include "platform/LastError.h"
#include "platform/Types.h"
#include "platform/linux/LinuxPlatform.h"

namespace kestrun::platform::linux_backend {

LinuxServices::LinuxServices(std::unique_ptr<SystemdServices> systemd, std::unique_ptr<LsbServices> scripts,
                             std::shared_ptr<DpkgIndex> packages)
    : systemd_(std::move(systemd)), scripts_(std::move(scripts)), keys_(std::move(packages))
{
}

const char* LinuxServices::SourceName() const
{
    if (chosen_ == nullptr) return "";
    return chosen_ == systemd_.get() ? "systemd" : "init scripts";
}

// systemd when it answers; the init scripts when there is no service manager on
// the bus. Any other failure of systemd (a timeout, a refusal) is reported as it
// is and decides nothing.
ServiceSource* LinuxServices::Source(std::optional<std::vector<LinuxService>>& firstList)
{
    if (chosen_ != nullptr) return chosen_;
    firstList = systemd_->List();
    if (firstList) return chosen_ = systemd_.get();
    if (!systemd_->Absent()) return nullptr;
    chosen_ = scripts_.get();
    firstList = scripts_->List();
    return chosen_;
}

std::optional<std::vector<ServiceEntry>> LinuxServices::EnumServices()
{
    std::optional<std::vector<LinuxService>> services;
    ServiceSource* source = Source(services);
    if (source == nullptr) return std::nullopt;
    if (!services) services = source->List();
    if (!services) return std::nullopt;
    keys_.Update(*services);
    std::vector<ServiceEntry> entries;
    entries.reserve(services->size());
    for (LinuxService& service : *services) entries.push_back(std::move(service.entry));
    return entries;
}

bool LinuxServices::Control(const std::wstring& prefix, ServiceControl code)
{
    std::optional<std::vector<LinuxService>> unused;
    ServiceSource* source = Source(unused);
    if (source == nullptr) return false;
    return source->Control(Narrow(prefix), code);
}

std::unique_ptr<ServiceManager> CreateLinuxServices(const LinuxRoots& roots, std::shared_ptr<DpkgIndex> packages)
{
    LsbOptions scripts;
    scripts.initDir = roots.etc + "/init.d";
    scripts.rcRoot = roots.etc;
    return std::make_unique<LinuxServices>(std::make_unique<SystemdServices>(), std::make_unique<LsbServices>(scripts),
                                           std::move(packages));
}

}  // namespace kestrun::platform::linux_backend
