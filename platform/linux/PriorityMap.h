// Thread priority levels 0..7 on Linux scheduling: level 0 is real-time round
// robin, 7 is SCHED_IDLE, and 1..6 are SCHED_OTHER nice values. Shared by the
// kernel service (the calling thread) and the process reader (any thread).
#pragma once

#include <sys/types.h>

namespace kestrun::platform::linux_backend {

// Nice value of levels 1..6 (index = level); levels 0 and 7 are set by policy.
inline constexpr int kLevelNice[8] = {0, -10, -5, 0, 5, 10, 19, 0};

// Moves thread tid to level (0..7): scheduling policy first, then the nice
// value. On failure sets the last error (EINVAL for a level out of range,
// EPERM/EACCES when refused, ESRCH when the thread is gone), leaves the thread
// as it was and returns false.
bool SetThreadLevel(pid_t tid, int level);

// The level a thread with this policy (SCHED_*, as /proc stat field 41 shows
// it) and nice value (-20..19) is at; kThreadPriorityError for an unknown policy.
int LevelFromPolicyNice(int policy, int nice);

}  // namespace kestrun::platform::linux_backend
