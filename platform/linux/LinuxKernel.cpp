// Placeholder until the kernel services land.
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxKernel final : public Kernel {
public:
    uint32_t GetTickCount() override
    {
        timespec ts{};
        clock_gettime(CLOCK_BOOTTIME, &ts);
        return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
    }
    MemoryStatus GlobalMemoryStatus() override { return {}; }
    unsigned ProcessorCount() override { return 1; }
    std::optional<uint64_t> TotalBusyTime() override { Fail(ENOSYS); return std::nullopt; }
    std::optional<std::wstring> OwnModuleFileName() override
    {
        char buffer[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n < 0) { FailWithErrno(); return std::nullopt; }
        return Widen(std::string(buffer, static_cast<size_t>(n)));
    }
    InstanceLockResult CreateInstanceLock(const std::wstring&) override { return {}; }
    bool SetCurrentThreadPriority(int) override { return Fail(ENOSYS); }
    bool Reboot() override { return Fail(ENOSYS); }
};
}  // namespace

std::unique_ptr<Kernel> CreateLinuxKernel(const LinuxRoots&) { return std::make_unique<LinuxKernel>(); }

}  // namespace kestrun::platform::linux_backend
