// An opened process on Linux: a pidfd where the kernel has them, so that ending
// it never hits a process that reused its PID.
#pragma once

#include "platform/ToolHelp.h"
#include "platform/linux/Fd.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrun::platform::linux_backend {

class LinuxProcessHandle final : public ProcessHandle {
public:
    // Opens process processId below the /proc handle root; null (last error set)
    // when it is gone, is a kernel thread, or its PID was reused while opening.
    // statBuffer is reused for the reads.
    static std::unique_ptr<ProcessHandle> Open(int root, uint32_t processId, std::string& statBuffer);

    LinuxProcessHandle(int root, uint32_t pid, Fd pidfd) : root_(root), pid_(pid), pidfd_(std::move(pidfd)) {}

    uint32_t ProcessId() const override { return pid_; }
    // The system reports the end as signal 9; the exit code cannot be imposed.
    bool Terminate(int exitCode) override;
    std::optional<std::wstring> ModuleFileName() override;

private:
    int root_;
    uint32_t pid_;
    Fd pidfd_;
};

}  // namespace kestrun::platform::linux_backend
