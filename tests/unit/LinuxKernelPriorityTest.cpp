// Thread priority levels 0..7 on Linux scheduling, on real threads.
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/PriorityMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestrun::platform::linux_backend {
namespace {

pid_t CurrentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// The level a thread is at now, read the way the process reader reads it.
int LevelOf(pid_t tid)
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return LevelFromPolicyNice(sched_getscheduler(tid), nice);
}

bool MayRaisePriority()
{
    // Root with CAP_SYS_NICE in practice; a raised RLIMIT_NICE also does.
    rlimit limit{};
    return geteuid() == 0 || (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur >= 30);
}

TEST(PriorityLevels, PolicyAndNiceMapToLevelsAtEveryBoundary)
{
    struct Case {
        int policy, nice, level;
    };
    const Case cases[] = {
        {SCHED_FIFO, 0, 0},    {SCHED_RR, 19, 0},     {6 /* SCHED_DEADLINE */, 0, 0},
        {SCHED_IDLE, -20, 7},  {SCHED_OTHER, -20, 1}, {SCHED_OTHER, -8, 1},
        {SCHED_OTHER, -7, 2},  {SCHED_OTHER, -3, 2},  {SCHED_OTHER, -2, 3},
        {SCHED_OTHER, 0, 3},   {SCHED_OTHER, 2, 3},   {SCHED_OTHER, 3, 4},
        {SCHED_OTHER, 7, 4},   {SCHED_OTHER, 8, 5},   {SCHED_OTHER, 14, 5},
        {SCHED_OTHER, 15, 6},  {SCHED_OTHER, 19, 6},  {SCHED_BATCH, 3, 4},
        {SCHED_RR | 0x40000000 /* reset on fork */, 0, 0},
        {42, 0, kThreadPriorityError},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LevelFromPolicyNice(c.policy, c.nice), c.level) << c.policy << " " << c.nice;
}

TEST(PriorityLevels, EverySetLevelReadsBackAsItself)
{
    // Unprivileged, a thread may only go down from where it starts (the test
    // may itself run under nice): the levels from there to 7, in order.
    std::vector<int> levels;
    if (MayRaisePriority()) {
        levels = {0, 1, 2, 3, 4, 5, 6, 7, 1, 0, 3};
    } else {
        const int start = LevelOf(CurrentTid());
        for (int level = std::max(start, 3); level <= 7; ++level)
            if (level == 7 || kLevelNice[level] >= getpriority(PRIO_PROCESS, 0)) levels.push_back(level);
    }
    std::thread worker([&] {
        const pid_t tid = CurrentTid();
        for (const int level : levels) {
            ASSERT_TRUE(SetThreadLevel(tid, level)) << level << " errno " << GetLastError();
            EXPECT_EQ(LevelOf(tid), level);
        }
    });
    worker.join();
}

TEST(PriorityLevels, OnlyTheCallingThreadChanges)
{
    const pid_t mainTid = CurrentTid();
    const int before = LevelOf(mainTid);
    auto kernel = CreateLinuxKernel({});
    int workerLevel = -1;
    std::thread worker([&] {
        ASSERT_TRUE(kernel->SetCurrentThreadPriority(5));
        workerLevel = LevelOf(CurrentTid());
    });
    worker.join();
    EXPECT_EQ(workerLevel, 5);
    EXPECT_EQ(LevelOf(mainTid), before);
}

TEST(PriorityLevels, BadLevelsAndGoneThreadsAreRefusedWithTheirError)
{
    for (const int level : {-1, 8, kThreadPriorityError}) {
        SetLastError(0);
        EXPECT_FALSE(SetThreadLevel(CurrentTid(), level));
        EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL)) << level;
    }
    // A thread that has ended and been joined.
    pid_t goneTid = 0;
    std::thread([&] { goneTid = CurrentTid(); }).join();
    SetLastError(0);
    EXPECT_FALSE(SetThreadLevel(goneTid, 4));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
}

TEST(PriorityLevels, RefusedNiceChangeLeavesTheThreadAsItWas)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become an unprivileged user";
    // In a child that gives up its privileges: from SCHED_BATCH nice 10,
    // level 1 may switch the policy but not lower nice to -10; the thread
    // must not be left SCHED_OTHER at nice 10.
    const pid_t pid = fork();
    if (pid == 0) {
        sched_param param{};
        if (sched_setscheduler(0, SCHED_BATCH, &param) != 0) _exit(10);
        if (setpriority(PRIO_PROCESS, 0, 10) != 0) _exit(11);
        const rlimit none{0, 0};
        setrlimit(RLIMIT_NICE, &none);
        if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(12);
        const pid_t tid = CurrentTid();
        if (SetThreadLevel(tid, 1)) _exit(13);
        if (GetLastError() != EACCES && GetLastError() != EPERM) _exit(14);
        if (sched_getscheduler(tid) != SCHED_BATCH) _exit(15);
        if (getpriority(PRIO_PROCESS, 0) != 10) _exit(16);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10..12 set-up, 13 accepted, 14 wrong error, 15 policy changed, 16 nice changed";
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
