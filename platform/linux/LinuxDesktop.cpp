// Placeholder until the X11 desktop lands.
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxDesktop final : public Desktop {
public:
    bool Available() override { return Fail(ENOSYS); }
    std::vector<WindowId> EnumWindows() override { return {}; }
    bool Exists(WindowId) override { return false; }
    std::wstring GetTitle(WindowId) override { return {}; }
    bool IsVisible(WindowId) override { return false; }
    WindowId GetOwner(WindowId) override { return 0; }
    uint32_t GetProcessId(WindowId) override { return 0; }
    std::optional<Image> GetSmallIcon(WindowId) override { return std::nullopt; }
    WindowId GetForeground() override { return 0; }
    std::optional<WindowId> FindWindowByTitle(const std::wstring&) override { return std::nullopt; }
    bool ShowWindow(WindowId, ShowCommand) override { return Fail(ENOSYS); }
    bool SetForeground(WindowId) override { return Fail(ENOSYS); }
    bool PostClose(WindowId) override { return Fail(ENOSYS); }
};
}  // namespace

std::unique_ptr<Desktop> CreateLinuxDesktop() { return std::make_unique<LinuxDesktop>(); }

}  // namespace kestrun::platform::linux_backend
