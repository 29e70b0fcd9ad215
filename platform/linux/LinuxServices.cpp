// Services on Linux are not wired yet: the service manager answers "not supported".
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxServices final : public ServiceManager {
public:
    std::optional<std::vector<ServiceEntry>> EnumServices() override { Fail(ENOSYS); return std::nullopt; }
    bool Control(const std::wstring&, ServiceControl) override { return Fail(ENOSYS); }
    std::wstring RegistryKey(const std::wstring& prefix) override { return L"Services\\" + prefix; }
};
}  // namespace

std::unique_ptr<ServiceManager> CreateLinuxServices(const LinuxRoots&) { return std::make_unique<LinuxServices>(); }

}  // namespace kestrun::platform::linux_backend
