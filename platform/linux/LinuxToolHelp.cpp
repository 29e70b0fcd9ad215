// Tool help on Linux, read from /proc.
//
// Cost model of a refresh: a process costs one directory open and one stat
// read per snapshot. Its executable name, load address and heap totals are
// read once (keyed by PID and start time, so a reused PID is a new process)
// and read again only when its command name changes (an exec) or, for the heap
// totals, when its virtual size changes. Per-process CPU time comes from the
// process's own stat (which also counts its ended threads), so a caller that
// wants only the sums needs no thread snapshot.
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/PriorityMap.h"
#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcStat.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

namespace {

// Direct system calls: Debian 12's <sys/pidfd.h> lacks C linkage for C++.
int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
int PidfdSendSignal(int pidfd, int signal) { return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0)); }

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;  // 1601 to 1970 in 100 ns units

uint64_t TicksTo100ns(uint64_t ticks)
{
    static const uint64_t perTick = [] {
        const long hz = ::sysconf(_SC_CLK_TCK);
        return hz > 0 ? 10000000ull / static_cast<uint64_t>(hz) : 100000ull;
    }();
    return ticks * perTick;
}

// Wall clock time of boot as a file time: realtime minus time since boot.
uint64_t BootWallFileTime()
{
    timespec real{};
    timespec boot{};
    ::clock_gettime(CLOCK_REALTIME, &real);
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    const int64_t ns = (int64_t{real.tv_sec} - boot.tv_sec) * 1000000000 + (real.tv_nsec - boot.tv_nsec);
    return kUnixEpochAsFileTime + static_cast<uint64_t>(ns / 100);
}

bool ParsePid(const char* name, uint32_t& pid)
{
    if (*name == '\0') return false;
    uint64_t value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > INT_MAX) return false;
    }
    pid = static_cast<uint32_t>(value);
    return pid > 0;
}

std::string_view Basename(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Sets the last error for a failed read and returns false.
bool FailRead(ProcRead result)
{
    return Fail(result == ProcRead::kGone ? ESRCH : (result == ProcRead::kDenied ? EACCES : (errno != 0 ? errno : EIO)));
}

// What is known of one process between snapshots.
struct ProcessFacts {
    uint64_t startTime = 0;  // with the PID, the process's identity
    std::string comm;        // a change means an exec: name and maps are read again
    std::wstring exeName;
    std::string exeTarget;
    uint64_t memoryBase = 0;
    bool kernelThread = false;
    // From the latest stat read.
    uint64_t cpuTicks = 0;
    uint64_t vsize = 0;
    uint64_t seenInSnapshot = 0;
    // Heap totals and the virtual size they were summed at.
    HeapTotals heap;
    uint64_t heapVsize = 0;
    bool heapKnown = false;
};

class LinuxProcessHandle final : public ProcessHandle {
public:
    LinuxProcessHandle(int root, uint32_t pid, Fd pidfd) : root_(root), pid_(pid), pidfd_(std::move(pidfd)) {}

    uint32_t ProcessId() const override { return pid_; }

    bool Terminate(int) override
    {
        // The system reports the end as signal 9; the exit code cannot be imposed.
        if (pidfd_.valid()) {
            if (PidfdSendSignal(pidfd_.get(), SIGKILL) == 0) return true;
            if (errno != ENOSYS) return FailWithErrno();
        }
        if (pid_ == 0 || pid_ > INT_MAX) return Fail(EINVAL);  // kill(0) and kill(-1) hit groups
        return ::kill(static_cast<pid_t>(pid_), SIGKILL) == 0 ? true : FailWithErrno();
    }

    std::optional<std::wstring> ModuleFileName() override
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

private:
    int root_;
    uint32_t pid_;
    Fd pidfd_;
};

class LinuxToolHelp final : public ToolHelp {
public:
    explicit LinuxToolHelp(const LinuxRoots& roots)
        : rootPath_(roots.proc), root_(::open(roots.proc.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }

    std::optional<Snapshot> CreateSnapshot(uint32_t flags, uint32_t processId) override;
    bool CloseSnapshot(Snapshot& snapshot) override
    {
        snapshot = Snapshot{snapshot.flags, snapshot.processId, {}, {}, {}, {}};
        return true;
    }
    std::optional<std::vector<HeapEntry>> HeapEntries(uint32_t processId, uint64_t heapId) override;
    bool GetThreadTimes(uint32_t threadId, ThreadTimes& times) override;
    int GetThreadPriority(uint32_t threadId) override;
    bool SetThreadPriority(uint32_t threadId, int level) override
    {
        if (threadId == 0 || threadId > INT_MAX) return Fail(EINVAL);
        return SetThreadLevel(static_cast<pid_t>(threadId), level);
    }
    std::unique_ptr<ProcessHandle> OpenProcess(uint32_t processId) override;
    uint32_t SetProcPermissions(uint32_t) override { return 0xFFFFFFFFu; }  // Linux has no such scope

    ProcessCpu SumThreadTimes(const Snapshot& snapshot, uint32_t processId) override;
    std::optional<HeapTotals> SumHeap(uint32_t processId) override;
    bool HasCheapProcessSums() const override { return true; }
    // /proc counts CPU time in clock ticks.
    uint32_t CpuTimeResolutionMs() const override
    {
        const long hz = ::sysconf(_SC_CLK_TCK);
        if (hz <= 0) return 10;  // the usual 100 per second, as TicksTo100ns assumes
        return hz >= 1000 ? 1 : static_cast<uint32_t>(1000 / hz);
    }

private:
    bool ReadProcess(const ProcDir& dir, uint32_t pid, uint32_t flags, Snapshot& snapshot);
    void ReadThreads(const ProcDir& dir, uint32_t pid, uint32_t accessKey, Snapshot& snapshot);
    void AddSystemModules(Snapshot& snapshot, std::unordered_map<uint32_t, size_t>& index, uint32_t pid, const std::string& maps);
    ProcRead ReadThreadStat(uint32_t tid, ProcStat& stat);
    static uint32_t RomFlag(const std::wstring& path);

    std::string rootPath_;
    Fd root_;
    std::unordered_map<uint32_t, ProcessFacts> facts_;
    uint64_t snapshotSerial_ = 0;
    std::string statText_;  // reused read buffers
    std::string mapsText_;
};

// Reads what the snapshot asks of one process through its directory handle.
// False when the process is gone (or unreadable): it is left out.
bool LinuxToolHelp::ReadProcess(const ProcDir& dir, uint32_t pid, uint32_t flags, Snapshot& snapshot)
{
    if (dir.Read("stat", statText_) != ProcRead::kOk || statText_.empty()) return false;
    const std::optional<ProcStat> stat = ParseProcStat(statText_);
    if (!stat) return false;
    struct stat owner {};
    const uint32_t accessKey = dir.Stat(owner) ? owner.st_uid : 0;

    ProcessFacts& facts = facts_[pid];
    const bool known = facts.seenInSnapshot != 0 && facts.startTime == stat->startTime && facts.comm == stat->comm;
    if (!known) {
        facts = ProcessFacts{};
        facts.startTime = stat->startTime;
        facts.comm = stat->comm;
        facts.kernelThread = stat->IsKernelThread();
        if (facts.kernelThread) {
            facts.exeName = Widen("[" + stat->comm + "]");
            facts.heapKnown = true;  // no user memory
        } else {
            const ProcRead link = dir.ReadLink("exe", facts.exeTarget);
            if (link == ProcRead::kOk)
                facts.exeName = Widen(std::string(Basename(WithoutDeleted(facts.exeTarget))));
            else
                facts.exeName = Widen(stat->comm);  // a zombie, or an exe we may not read
            const ProcRead maps = dir.Read("maps", mapsText_);
            if (maps == ProcRead::kGone) {
                facts_.erase(pid);
                return false;
            }
            const MapsSummary summary = maps == ProcRead::kOk ? SummarizeMaps(mapsText_, facts.exeTarget) : MapsSummary{};
            facts.memoryBase = summary.loadAddress;
            facts.heap = summary.heap;
            facts.heapKnown = true;
        }
        facts.heapVsize = stat->vsize;
    }
    facts.cpuTicks = stat->utime + stat->stime;
    facts.vsize = stat->vsize;
    facts.seenInSnapshot = snapshotSerial_;

    if (flags & kSnapProcess) {
        ProcessEntry entry;
        entry.processId = pid;
        entry.threadCount = static_cast<uint32_t>(stat->numThreads > 0 ? stat->numThreads : 0);
        entry.parentProcessId = static_cast<uint32_t>(stat->ppid > 0 ? stat->ppid : 0);
        entry.memoryBase = facts.memoryBase;
        entry.accessKey = accessKey;
        entry.exeFile = facts.exeName;
        entry.systemProcess = pid == 1 || facts.kernelThread;
        snapshot.processes.push_back(std::move(entry));
    }
    if (flags & kSnapThread) ReadThreads(dir, pid, accessKey, snapshot);
    return true;
}

void LinuxToolHelp::ReadThreads(const ProcDir& dir, uint32_t pid, uint32_t accessKey, Snapshot& snapshot)
{
    const int taskFd = ::openat(dir.fd(), "task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (taskFd < 0) return;
    DIR* task = ::fdopendir(taskFd);
    if (task == nullptr) {
        ::close(taskFd);
        return;
    }
    std::string path;
    while (const dirent* entry = ::readdir(task)) {
        uint32_t tid = 0;
        if (!ParsePid(entry->d_name, tid)) continue;
        path.assign(entry->d_name).append("/stat");
        if (ReadFileAt(taskFd, path.c_str(), statText_) != ProcRead::kOk) continue;  // the thread ended
        const std::optional<ProcStat> stat = ParseProcStat(statText_);
        if (!stat) continue;
        ThreadEntry thread;
        thread.threadId = tid;
        thread.ownerProcessId = pid;
        const int level = LevelFromPolicyNice(static_cast<int>(stat->policy), static_cast<int>(stat->nice));
        thread.basePriority = level == kThreadPriorityError ? kThreadPriorityNormal : level;
        thread.usageCount = 1;
        thread.accessKey = accessKey;
        thread.currentProcessId = pid;  // a Linux thread never runs in another process
        snapshot.threads.push_back(thread);
    }
    ::closedir(task);
}

uint32_t LinuxToolHelp::RomFlag(const std::wstring& path)
{
    // Per path, not per device: a read-only bind mount shares its device with a writable one.
    struct statvfs fs {};
    return ::statvfs(Narrow(path).c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0 ? kModuleInRom : 0u;
}

void LinuxToolHelp::AddSystemModules(Snapshot& snapshot, std::unordered_map<uint32_t, size_t>& index, uint32_t pid,
                                     const std::string& maps)
{
    for (ModuleEntry& module : ModulesFromMaps(maps, pid)) {
        const auto [it, added] = index.emplace(module.moduleId, snapshot.modules.size());
        if (!added) {
            ++snapshot.modules[it->second].globalUsage;
            continue;
        }
        module.processId = 0;
        module.globalUsage = 1;
        module.flags = RomFlag(module.exePath);
        snapshot.modules.push_back(std::move(module));
    }
}

std::optional<Snapshot> LinuxToolHelp::CreateSnapshot(uint32_t flags, uint32_t processId)
{
    if (!root_.valid()) {
        Fail(ENOENT);
        return std::nullopt;
    }
    Snapshot snapshot;
    snapshot.flags = flags;
    snapshot.processId = processId;
    ++snapshotSerial_;

    // Processes and threads: every process (the thread part of a single process when only threads are asked).
    const bool allProcesses = (flags & kSnapProcess) != 0 || ((flags & kSnapThread) != 0 && processId == 0) ||
                              ((flags & kSnapModule) != 0 && processId == 0);
    if (allProcesses) {
        const int listFd = ::openat(root_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
        if (list == nullptr) {
            if (listFd >= 0) ::close(listFd);
            FailWithErrno();
            return std::nullopt;
        }
        std::unordered_map<uint32_t, size_t> moduleIndex;
        while (const dirent* entry = ::readdir(list)) {
            uint32_t pid = 0;
            if (!ParsePid(entry->d_name, pid)) continue;
            const ProcDir dir(root_.get(), entry->d_name);
            if (!dir.valid()) continue;  // ended between the listing and the open
            const uint32_t perProcess = (flags & kSnapThread) != 0 && processId != 0 && pid != processId
                                            ? (flags & kSnapProcess)
                                            : (flags & (kSnapProcess | kSnapThread));
            if (!ReadProcess(dir, pid, perProcess, snapshot)) continue;
            if ((flags & kSnapModule) != 0 && processId == 0 && !facts_[pid].kernelThread &&
                dir.Read("maps", mapsText_) == ProcRead::kOk)
                AddSystemModules(snapshot, moduleIndex, pid, mapsText_);
        }
        ::closedir(list);
        // Forget processes that have ended, so the table holds only the living.
        std::erase_if(facts_, [this](const auto& item) { return item.second.seenInSnapshot != snapshotSerial_; });
    }

    // Heap lists and modules of one process (0: the calling process).
    const bool oneProcess = (flags & kSnapHeapList) != 0 || ((flags & kSnapModule) != 0 && processId != 0) ||
                            ((flags & kSnapThread) != 0 && processId != 0 && !allProcesses);
    if (oneProcess) {
        const uint32_t pid = processId != 0 ? processId : static_cast<uint32_t>(::getpid());
        const ProcDir dir(root_.get(), std::to_string(pid).c_str());
        if (!dir.valid() || dir.Read("stat", statText_) != ProcRead::kOk || statText_.empty()) {
            Fail(ESRCH);
            return std::nullopt;
        }
        if ((flags & kSnapThread) != 0 && !allProcesses) {
            struct stat owner {};
            ReadThreads(dir, pid, dir.Stat(owner) ? owner.st_uid : 0, snapshot);
        }
        if ((flags & (kSnapHeapList | kSnapModule)) != 0) {
            const ProcRead maps = dir.Read("maps", mapsText_);
            if (maps == ProcRead::kGone) {
                Fail(ESRCH);
                return std::nullopt;
            }
            if (maps != ProcRead::kOk) mapsText_.clear();  // not ours to read: an empty table, no error
            if (flags & kSnapHeapList) snapshot.heapLists = HeapListsFromMaps(mapsText_, pid);
            if ((flags & kSnapModule) != 0 && processId != 0) {
                snapshot.modules = ModulesFromMaps(mapsText_, pid);
                for (ModuleEntry& module : snapshot.modules) module.flags = RomFlag(module.exePath);
            }
        }
    }
    return snapshot;
}

std::optional<std::vector<HeapEntry>> LinuxToolHelp::HeapEntries(uint32_t processId, uint64_t heapId)
{
    const uint32_t pid = processId != 0 ? processId : static_cast<uint32_t>(::getpid());
    const ProcDir dir(root_.get(), std::to_string(pid).c_str());
    const ProcRead maps = dir.Read("maps", mapsText_);
    if (maps == ProcRead::kDenied) return std::vector<HeapEntry>{};
    if (maps != ProcRead::kOk) {
        FailRead(maps);
        return std::nullopt;
    }
    return HeapEntriesFromMaps(mapsText_, pid, heapId);
}

ProcRead LinuxToolHelp::ReadThreadStat(uint32_t tid, ProcStat& stat)
{
    if (tid == 0 || tid > INT_MAX || !root_.valid()) return ProcRead::kGone;
    // /proc/TID/stat would sum the whole process; the thread's own line is under task/.
    const std::string path = std::to_string(tid) + "/task/" + std::to_string(tid) + "/stat";
    const ProcRead read = ReadFileAt(root_.get(), path.c_str(), statText_);
    if (read != ProcRead::kOk) return read;
    std::optional<ProcStat> parsed = ParseProcStat(statText_);
    if (!parsed) return ProcRead::kGone;
    stat = std::move(*parsed);
    return ProcRead::kOk;
}

bool LinuxToolHelp::GetThreadTimes(uint32_t threadId, ThreadTimes& times)
{
    ProcStat stat;
    const ProcRead read = ReadThreadStat(threadId, stat);
    if (read != ProcRead::kOk) return FailRead(read);
    times.creation = FileTime::FromValue(BootWallFileTime() + TicksTo100ns(stat.startTime));
    times.exit = FileTime{};  // ended threads are gone from /proc
    times.kernel = FileTime::FromValue(TicksTo100ns(stat.stime));
    times.user = FileTime::FromValue(TicksTo100ns(stat.utime));
    return true;
}

int LinuxToolHelp::GetThreadPriority(uint32_t threadId)
{
    ProcStat stat;
    const ProcRead read = ReadThreadStat(threadId, stat);
    if (read != ProcRead::kOk) {
        FailRead(read);
        return kThreadPriorityError;
    }
    const int level = LevelFromPolicyNice(static_cast<int>(stat.policy), static_cast<int>(stat.nice));
    if (level == kThreadPriorityError) Fail(EINVAL);
    return level;
}

std::unique_ptr<ProcessHandle> LinuxToolHelp::OpenProcess(uint32_t processId)
{
    if (processId == 0 || processId > INT_MAX) {
        Fail(EINVAL);
        return nullptr;
    }
    const std::string name = std::to_string(processId);
    const ProcDir dir(root_.get(), name.c_str());
    std::optional<ProcStat> before;
    if (dir.Read("stat", statText_) == ProcRead::kOk) before = ParseProcStat(statText_);
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
    if (dir.Read("stat", statText_) == ProcRead::kOk) after = ParseProcStat(statText_);
    if (!after || after->startTime != before->startTime) {
        Fail(ESRCH);
        return nullptr;
    }
    return std::make_unique<LinuxProcessHandle>(root_.get(), processId, std::move(pidfd));
}

ProcessCpu LinuxToolHelp::SumThreadTimes(const Snapshot&, uint32_t processId)
{
    // The main thread (PID = TID) is the earliest; the process's stat counts every
    // thread it ever had, the ended ones included.
    ProcessCpu cpu;
    const auto it = facts_.find(processId);
    if (it != facts_.end() && it->second.seenInSnapshot == snapshotSerial_) {
        cpu.cpuTime = TicksTo100ns(it->second.cpuTicks);
        cpu.primaryThread = processId;
        return cpu;
    }
    if (!root_.valid() || processId == 0 || processId > INT_MAX) return cpu;
    const ProcDir dir(root_.get(), std::to_string(processId).c_str());
    if (dir.Read("stat", statText_) != ProcRead::kOk) return cpu;
    const std::optional<ProcStat> stat = ParseProcStat(statText_);
    if (!stat) return cpu;
    cpu.cpuTime = TicksTo100ns(stat->utime + stat->stime);
    cpu.primaryThread = processId;
    return cpu;
}

std::optional<HeapTotals> LinuxToolHelp::SumHeap(uint32_t processId)
{
    const auto it = facts_.find(processId);
    if (it == facts_.end() || it->second.seenInSnapshot != snapshotSerial_) return ToolHelp::SumHeap(processId);
    ProcessFacts& facts = it->second;
    if (facts.heapKnown && facts.heapVsize == facts.vsize) return facts.heap;

    // The virtual size changed since the heap was summed: read the maps again, through
    // a fresh handle whose start time proves it is still the same process.
    const ProcDir dir(root_.get(), std::to_string(processId).c_str());
    std::optional<ProcStat> stat;
    if (dir.Read("stat", statText_) == ProcRead::kOk) stat = ParseProcStat(statText_);
    if (!stat || stat->startTime != facts.startTime) {
        Fail(ESRCH);
        return std::nullopt;
    }
    const ProcRead maps = dir.Read("maps", mapsText_);
    if (maps == ProcRead::kGone) {
        Fail(ESRCH);
        return std::nullopt;
    }
    facts.heap = maps == ProcRead::kOk ? SummarizeMaps(mapsText_, facts.exeTarget).heap : HeapTotals{};
    facts.heapVsize = stat->vsize;
    facts.vsize = stat->vsize;
    facts.heapKnown = true;
    return facts.heap;
}

}  // namespace

std::unique_ptr<ToolHelp> CreateLinuxToolHelp(const LinuxRoots& roots) { return std::make_unique<LinuxToolHelp>(roots); }

}  // namespace kestrun::platform::linux_backend
