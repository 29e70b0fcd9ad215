// The interface table on Linux is not wired yet: it answers "not supported".
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxInterfaces final : public InterfaceTable {
public:
    std::optional<std::vector<InterfaceRow>> GetIfTable() override { Fail(ENOSYS); return std::nullopt; }
    std::wstring GetAdapterName(uint32_t) override { return {}; }
};
}  // namespace

std::unique_ptr<InterfaceTable> CreateLinuxInterfaces(const LinuxRoots&) { return std::make_unique<LinuxInterfaces>(); }

}  // namespace kestrun::platform::linux_backend
