#include "platform/linux/ProcThreads.h"

#include "platform/linux/Dir.h"
#include "platform/linux/PriorityMap.h"
#include "platform/linux/ProcClock.h"

#include <climits>

namespace kestrun::platform::linux_backend {

void ReadTaskThreads(const ProcDir& dir, uint32_t pid, uint32_t accessKey, std::string& buffer,
                     std::vector<ThreadEntry>& out)
{
    Dir task(dir.fd(), "task");
    if (!task.valid()) return;
    std::string path;
    while (const dirent* entry = task.Next()) {
        uint32_t tid = 0;
        if (!ParsePid(entry->d_name, tid)) continue;
        path.assign(entry->d_name).append("/stat");
        if (ReadFileAt(task.fd(), path.c_str(), buffer) != ProcRead::kOk) continue;  // the thread ended
        const std::optional<ProcStat> stat = ParseProcStat(buffer);
        if (!stat) continue;
        ThreadEntry thread;
        thread.threadId = tid;
        thread.ownerProcessId = pid;
        const int level = LevelFromPolicyNice(static_cast<int>(stat->policy), static_cast<int>(stat->nice));
        thread.basePriority = level == kThreadPriorityError ? kThreadPriorityNormal : level;
        thread.deltaPriority = static_cast<int32_t>(stat->nice);  // the thread's own nice value
        thread.usageCount = 0;  // nothing on Linux counts uses of a thread
        thread.accessKey = accessKey;
        thread.currentProcessId = pid;  // a Linux thread never runs in another process
        out.push_back(thread);
    }
}

ProcRead ReadThreadStat(int root, uint32_t tid, std::string& buffer, ProcStat& stat)
{
    if (tid == 0 || tid > INT_MAX || root < 0) return ProcRead::kGone;
    // /proc/TID/stat would sum the whole process; the thread's own line is under task/.
    const std::string path = std::to_string(tid) + "/task/" + std::to_string(tid) + "/stat";
    const ProcRead read = ReadFileAt(root, path.c_str(), buffer);
    if (read != ProcRead::kOk) return read;
    std::optional<ProcStat> parsed = ParseProcStat(buffer);
    if (!parsed) return ProcRead::kGone;
    stat = std::move(*parsed);
    return ProcRead::kOk;
}

ThreadTimes ThreadTimesOf(const ProcStat& stat)
{
    ThreadTimes times;
    times.creation = FileTime::FromValue(BootWallFileTime() + TicksTo100ns(stat.startTime));
    times.exit = FileTime{};
    times.kernel = FileTime::FromValue(TicksTo100ns(stat.stime));
    times.user = FileTime::FromValue(TicksTo100ns(stat.utime));
    return times;
}

}  // namespace kestrun::platform::linux_backend
