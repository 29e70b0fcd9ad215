// Placeholder until the /proc reader lands: every call answers "not supported".
#include "platform/linux/LinuxPlatform.h"

#include <cerrno>

namespace kestrun::platform::linux_backend {

namespace {
class LinuxToolHelp final : public ToolHelp {
public:
    std::optional<Snapshot> CreateSnapshot(uint32_t, uint32_t) override { Fail(ENOSYS); return std::nullopt; }
    bool CloseSnapshot(Snapshot&) override { return true; }
    std::optional<std::vector<HeapEntry>> HeapEntries(uint32_t, uint64_t) override { Fail(ENOSYS); return std::nullopt; }
    bool GetThreadTimes(uint32_t, ThreadTimes&) override { return Fail(ENOSYS); }
    int GetThreadPriority(uint32_t) override { Fail(ENOSYS); return kThreadPriorityError; }
    bool SetThreadPriority(uint32_t, int) override { return Fail(ENOSYS); }
    std::unique_ptr<ProcessHandle> OpenProcess(uint32_t) override { Fail(ENOSYS); return nullptr; }
    uint32_t SetProcPermissions(uint32_t) override { return 0xFFFFFFFFu; }
};
}  // namespace

std::unique_ptr<ToolHelp> CreateLinuxToolHelp(const LinuxRoots&) { return std::make_unique<LinuxToolHelp>(); }

}  // namespace kestrun::platform::linux_backend
