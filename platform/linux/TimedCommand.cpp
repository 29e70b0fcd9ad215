#include "platform/linux/TimedCommand.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrun::platform::linux_backend {

namespace {

using Clock = std::chrono::steady_clock;

// The child's status once it ended, or false while it still runs.
bool Reap(pid_t pid, int& status)
{
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r == 0) return false;
        if (errno == EINTR) continue;
        status = -1;  // ECHILD: someone else reaped it (SIGCHLD ignored)
        return true;
    }
}

// Waits until the child ends or the deadline passes; true when it ended.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int& status)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
        if (Reap(pid, status)) {
            if (pidfd >= 0) close(pidfd);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        if (pidfd >= 0) {
            pollfd fd{pidfd, POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        } else {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));  // no pidfds on old kernels
        }
    }
    if (pidfd >= 0) close(pidfd);
    return false;
}

CommandResult FromStatus(int status)
{
    CommandResult result;
    if (status == -1) {
        result.outcome = CommandResult::Outcome::Exited;
        result.exitCode = -1;
    } else if (WIFEXITED(status)) {
        result.outcome = CommandResult::Outcome::Exited;
        result.exitCode = WEXITSTATUS(status);
    } else {
        result.outcome = CommandResult::Outcome::Signalled;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return result;
}

}  // namespace

CommandResult RunWithTimeout(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    CommandResult result;
    if (argv.empty()) {
        result.error = EINVAL;
        return result;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    char path[] = "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
    char lang[] = "LANG=C";
    char* env[] = {path, lang, nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);  // its own group, so a timeout kills what it started too
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, &attr, args.data(), env);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        result.error = rc;
        return result;
    }

    int status = 0;
    if (WaitUntil(pid, Clock::now() + timeout, status)) return FromStatus(status);
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.outcome = CommandResult::Outcome::TimedOut;
    return result;
}

}  // namespace kestrun::platform::linux_backend
