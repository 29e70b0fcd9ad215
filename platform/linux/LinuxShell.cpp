// Placeholder until the shell services land.
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxShell final : public Shell {
public:
    std::optional<FileInfo> GetFileInfo(const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    std::optional<VersionInfo> GetVersionInfo(const std::wstring&) override { Fail(ENOSYS); return std::nullopt; }
    bool HelpViewerAvailable() override { return false; }
    bool StartHelpViewer(const std::wstring&, const std::wstring&) override { return Fail(ENOSYS); }
};
}  // namespace

std::unique_ptr<Shell> CreateLinuxShell() { return std::make_unique<LinuxShell>(); }

}  // namespace kestrun::platform::linux_backend
