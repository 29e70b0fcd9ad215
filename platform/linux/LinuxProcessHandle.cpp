#include "platform/linux/LinuxProcessHandle.h"

#include "platform/LastError.h"
#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcStat.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

// Direct system calls: Debian 12's <sys/pidfd.h> lacks C linkage for C++.
int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
int PidfdSendSignal(int pidfd, int signal) { return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0)); }

}  // namespace

std::unique_ptr<ProcessHandle> LinuxProcessHandle::Open(int root, uint32_t processId, std::string& statBuffer)
{
    if (processId == 0 || processId > INT_MAX) {
        Fail(EINVAL);
        return nullptr;
    }
    const std::string name = std::to_string(processId);
    const ProcDir dir(root, name.c_str());
    std::optional<ProcStat> before;
    if (dir.Read("stat", statBuffer) == ProcRead::kOk) before = ParseProcStat(statBuffer);
    if (!before) {
        Fail(ESRCH);
        return nullptr;
    }
    if (before->IsKernelThread()) {  // kernel threads are not ours to end
        Fail(EPERM);
        return nullptr;
    }
    Fd pidfd(PidfdOpen(static_cast<pid_t>(processId)));
    if (!pidfd.valid() && errno != ENOSYS) {
        FailWithErrno();
        return nullptr;
    }
    // The PID may have been reused between the stat read and the pidfd: the start time tells.
    std::optional<ProcStat> after;
    if (dir.Read("stat", statBuffer) == ProcRead::kOk) after = ParseProcStat(statBuffer);
    if (!after || after->startTime != before->startTime) {
        Fail(ESRCH);
        return nullptr;
    }
    return std::make_unique<LinuxProcessHandle>(root, processId, std::move(pidfd));
}

bool LinuxProcessHandle::Terminate(int)
{
    if (pidfd_.valid()) {
        if (PidfdSendSignal(pidfd_.get(), SIGKILL) == 0) return true;
        if (errno != ENOSYS) return FailWithErrno();
    }
    if (pid_ == 0 || pid_ > INT_MAX) return Fail(EINVAL);  // kill(0) and kill(-1) hit groups
    return ::kill(static_cast<pid_t>(pid_), SIGKILL) == 0 ? true : FailWithErrno();
}

std::optional<std::wstring> LinuxProcessHandle::ModuleFileName()
{
    std::string target;
    ProcDir dir(root_, std::to_string(pid_).c_str());
    const ProcRead read = dir.ReadLink("exe", target);
    if (read != ProcRead::kOk) {
        FailRead(read);
        return std::nullopt;
    }
    // The link was read by PID: it belongs to this process only if it is still alive.
    if (pidfd_.valid() && PidfdSendSignal(pidfd_.get(), 0) != 0 && errno == ESRCH) {
        Fail(ESRCH);
        return std::nullopt;
    }
    return Widen(std::string(WithoutDeleted(target)));
}

}  // namespace kestrun::platform::linux_backend
