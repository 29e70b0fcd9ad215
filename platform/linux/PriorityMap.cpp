#include "platform/linux/PriorityMap.h"

#include "platform/LastError.h"
#include "platform/Types.h"

#include <cerrno>
#include <sched.h>
#include <sys/resource.h>

namespace kestrun::platform::linux_backend {

namespace {
#ifndef SCHED_RESET_ON_FORK
constexpr int SCHED_RESET_ON_FORK = 0x40000000;
#endif
#ifndef SCHED_DEADLINE
constexpr int SCHED_DEADLINE = 6;
#endif
}  // namespace

bool SetThreadLevel(pid_t tid, int level)
{
    if (level < 0 || level > 7) return Fail(EINVAL);

    // Remember where the thread is, so a refused nice change does not leave it
    // with a new policy and its old nice value.
    const int oldPolicy = sched_getscheduler(tid);
    if (oldPolicy < 0) return FailWithErrno();
    sched_param oldParam{};
    if (sched_getparam(tid, &oldParam) != 0) return FailWithErrno();

    sched_param param{};
    int policy = SCHED_OTHER;
    if (level == 0) {
        policy = SCHED_RR;
        param.sched_priority = 1;
    } else if (level == 7) {
        policy = SCHED_IDLE;
    }
    if (sched_setscheduler(tid, policy, &param) != 0) return FailWithErrno();
    if (level == 0 || level == 7) return true;  // nice plays no part there

    errno = 0;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kLevelNice[level]) != 0) {
        const int error = errno;
        if ((oldPolicy & ~SCHED_RESET_ON_FORK) != SCHED_OTHER || oldParam.sched_priority != 0)
            sched_setscheduler(tid, oldPolicy & ~SCHED_RESET_ON_FORK, &oldParam);  // best effort
        return Fail(static_cast<uint32_t>(error));
    }
    return true;
}

int LevelFromPolicyNice(int policy, int nice)
{
    switch (policy & ~SCHED_RESET_ON_FORK) {
    case SCHED_FIFO:
    case SCHED_RR:
    case SCHED_DEADLINE:
        return kThreadPriorityTimeCritical;
    case SCHED_IDLE:
        return kThreadPriorityIdle;
    case SCHED_OTHER:
    case SCHED_BATCH:
        if (nice <= -8) return 1;
        if (nice <= -3) return 2;
        if (nice <= 2) return 3;
        if (nice <= 7) return 4;
        if (nice <= 14) return 5;
        return 6;
    default:
        return kThreadPriorityError;
    }
}

}  // namespace kestrun::platform::linux_backend
