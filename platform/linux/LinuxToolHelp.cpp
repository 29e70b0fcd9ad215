// Tool help on Linux, read from /proc.
//
// Cost model of a refresh: a known process costs one read of its stat per
// snapshot (one open, one read, one fstat for its owner), no more than reading
// the file at all takes. Its executable name, load address and heap figures are
// read at its first sight (keyed by PID and start time, so a reused PID is a
// new process) and read again when its program changes (an exec: the command
// name or the start of the program's text in stat changed). Its memory in use
// (status) is read again only when stat shows another resident or virtual
// size, its heap regions (maps) only when the virtual size changed.
// Per-process CPU time comes from the process's own stat (which also counts
// its ended threads), so a caller that wants only the sums needs no thread
// snapshot.
#include "platform/LastError.h"
#include "platform/common/PathName.h"
#include "platform/linux/Dir.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/LinuxProcessHandle.h"
#include "platform/linux/ModuleCensus.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/PriorityMap.h"
#include "platform/linux/ProcClock.h"
#include "platform/linux/ProcDir.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcSmaps.h"
#include "platform/linux/ProcStat.h"
#include "platform/linux/ProcStatus.h"
#include "platform/linux/ProcThreads.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unordered_map>

namespace kestrun::platform::linux_backend {

namespace {

// What is known of one process between snapshots.
struct ProcessFacts {
    uint64_t startTime = 0;  // with the PID, the process's identity
    // The program it runs: when either changes, the process has run another
    // program (an exec) and its name, load address and heap are read again.
    std::string comm;
    uint64_t startCode = 0;
    uint32_t image = 0;  // counts the programs this process has been seen running
    std::wstring exeName;
    std::string exeTarget;
    uint64_t memoryBase = 0;
    bool kernelThread = false;
    // From the latest stat read.
    uint64_t cpuTicks = 0;
    uint64_t vsize = 0;
    uint64_t rss = 0;
    uint64_t seenInSnapshot = 0;
    // Heap figures and the sizes in stat when they were read: the bytes are
    // read again when the resident or the virtual size changes, the blocks
    // when the virtual size does.
    HeapTotals heap;
    uint64_t heapVsize = 0;
    uint64_t heapRss = 0;
};

// A process that has ended and waits for its parent: no program, no memory.
bool Ended(const ProcStat& stat) { return stat.state == 'Z' || stat.state == 'X'; }

// A user process whose stat shows no text is between programs: an exec has
// switched it to the new address space (its exe link and soon its comm are the
// new program's) but not yet mapped the program, or it is exiting. What maps
// tells then belongs to neither program, so nothing of it is read.
bool BetweenPrograms(const ProcStat& stat) { return stat.startCode == 0 && !stat.IsKernelThread() && !Ended(stat); }

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
    std::unique_ptr<ProcessHandle> OpenProcess(uint32_t processId) override
    {
        return LinuxProcessHandle::Open(root_.get(), processId, statText_);
    }
    uint32_t SetProcPermissions(uint32_t) override { return 0xFFFFFFFFu; }  // Linux has no such scope

    ProcessCpu SumThreadTimes(const Snapshot& snapshot, uint32_t processId) override;
    std::optional<HeapTotals> SumHeap(uint32_t processId) override;
    bool HasCheapProcessSums() const override { return true; }
    // /proc counts CPU time in clock ticks.
    uint32_t CpuTimeResolutionMs() const override { return TickMs(); }

private:
    bool ReadProcess(const ProcDir& dir, uint32_t pid, uint32_t flags, Snapshot& snapshot);
    // The steady state: a known process running the same program needs its stat
    // alone, read without opening its directory (the start time in it proves the
    // process is the one known). False when it needs the full read.
    bool ReadKnownProcess(uint32_t pid, uint32_t flags, Snapshot& snapshot);
    void AddEntry(uint32_t pid, const ProcStat& stat, ProcessFacts& facts, uint32_t accessKey, uint32_t flags,
                  Snapshot& snapshot);
    bool ReadProgram(const ProcDir& dir, const ProcStat& stat, ProcessFacts& facts);
    // What maps and status tell, as asked; false when the process has ended.
    enum class HeapRead { kBytes, kBytesAndBlocks, kProgram };  // kProgram: the load address too
    bool ReadHeap(const ProcDir& dir, const ProcStat& stat, HeapRead what, ProcessFacts& facts);
    void AddSystemModules(Snapshot& snapshot, std::unordered_map<uint32_t, size_t>& index, uint32_t pid, const std::string& maps);
    // kModuleInRom when the module's file lies on a read-only mount.
    uint32_t RomFlag(const std::wstring& path) const;
    void LoadMounts();

    std::string rootPath_;
    Fd root_;
    std::unordered_map<uint32_t, ProcessFacts> facts_;
    uint64_t snapshotSerial_ = 0;
    std::string statText_;  // reused read buffers
    std::string mapsText_;
    std::string statusText_;
    SmapsCache smaps_;  // the heap walk's table, read once per heap-list snapshot
    MountTable mounts_;  // read once per module snapshot
    ModuleCensus census_;  // module users, shared by the module snapshots of one refresh
    uint64_t processEpoch_ = 0;  // counts walks over every process
    uint64_t mountsEpoch_ = 0;   // the walk after which mounts_ was read
};

// Reads what the snapshot asks of one process through its directory handle.
// False when the process is gone (or unreadable): it is left out. A process
// seen for the first time is listed only when all of it could be read: one
// that ends during its first read is absent, not half there.
bool LinuxToolHelp::ReadProcess(const ProcDir& dir, uint32_t pid, uint32_t flags, Snapshot& snapshot)
{
    struct stat owner {};
    if (dir.ReadRecord("stat", statText_, &owner) != ProcRead::kOk || statText_.empty()) return false;
    std::optional<ProcStat> stat = ParseProcStat(statText_);
    if (!stat) return false;
    const uint32_t accessKey = owner.st_uid;

    ProcessFacts& facts = facts_[pid];
    const bool known = facts.seenInSnapshot != 0 && facts.startTime == stat->startTime;
    if (BetweenPrograms(*stat)) {
        // A new process is left for the next snapshot; a known one stays listed
        // as last read until its new program is in place.
        if (!known) return false;
        AddEntry(pid, *stat, facts, accessKey, flags, snapshot);
        if (flags & kSnapThread) ReadTaskThreads(dir, pid, accessKey, statText_, snapshot.threads);
        return true;
    }
    // An ended process keeps what was read while it ran (its stat no longer shows its text).
    const bool sameProgram = known && (Ended(*stat) || (facts.comm == stat->comm && facts.startCode == stat->startCode));
    if (!sameProgram) {
        // Not yet seen, or it has run another program: everything is read again.
        if (!known && Ended(*stat)) return false;  // ended before it was ever listed
        uint32_t image = known ? facts.image + 1 : 0;
        // An exec during the read would leave one program's name with another's
        // maps: the stat read afterwards tells, and the program is read again,
        // once. A process still changing (or ending) is left for the next snapshot;
        // its facts, unseen, are dropped after the walk.
        for (int attempt = 0;; ++attempt) {
            facts = ProcessFacts{};
            facts.startTime = stat->startTime;
            facts.comm = stat->comm;
            facts.startCode = stat->startCode;
            facts.image = image;
            if (!ReadProgram(dir, *stat, facts)) return false;
            std::optional<ProcStat> after;
            if (dir.ReadRecord("stat", statText_) == ProcRead::kOk) after = ParseProcStat(statText_);
            if (!after || Ended(*after) || BetweenPrograms(*after) || after->startTime != stat->startTime) return false;
            const bool unchanged = after->comm == stat->comm && after->startCode == stat->startCode;
            stat = std::move(after);
            if (unchanged) break;
            if (attempt == 1) return false;
            ++image;
        }
    }
    AddEntry(pid, *stat, facts, accessKey, flags, snapshot);
    if (flags & kSnapThread) ReadTaskThreads(dir, pid, accessKey, statText_, snapshot.threads);
    return true;
}

bool LinuxToolHelp::ReadKnownProcess(uint32_t pid, uint32_t flags, Snapshot& snapshot)
{
    const auto it = facts_.find(pid);
    if (it == facts_.end() || it->second.seenInSnapshot == 0) return false;
    char path[24];  // "4294967295/stat"
    std::snprintf(path, sizeof path, "%u/stat", pid);
    struct stat owner {};
    if (ReadRecordAt(root_.get(), path, statText_, &owner) != ProcRead::kOk) return false;
    const std::optional<ProcStat> stat = ParseProcStat(statText_);
    ProcessFacts& facts = it->second;
    if (!stat || stat->startTime != facts.startTime) return false;
    const bool sameProgram = Ended(*stat) || BetweenPrograms(*stat) ||
                             (stat->comm == facts.comm && stat->startCode == facts.startCode);
    if (!sameProgram) return false;
    AddEntry(pid, *stat, facts, owner.st_uid, flags, snapshot);
    return true;
}

void LinuxToolHelp::AddEntry(uint32_t pid, const ProcStat& stat, ProcessFacts& facts, uint32_t accessKey, uint32_t flags,
                             Snapshot& snapshot)
{
    facts.cpuTicks = stat.utime + stat.stime;
    facts.vsize = stat.vsize;
    facts.rss = stat.rss;
    facts.seenInSnapshot = snapshotSerial_;
    if ((flags & kSnapProcess) == 0) return;
    ProcessEntry entry;
    entry.processId = pid;
    entry.threadCount = static_cast<uint32_t>(stat.numThreads > 0 ? stat.numThreads : 0);
    entry.parentProcessId = static_cast<uint32_t>(stat.ppid > 0 ? stat.ppid : 0);
    entry.memoryBase = facts.memoryBase;
    entry.accessKey = accessKey;
    entry.exeFile = facts.exeName;
    entry.systemProcess = pid == 1 || facts.kernelThread;
    entry.startTime = facts.startTime;
    entry.image = facts.image;
    snapshot.processes.push_back(std::move(entry));
}

// The program a process runs: its name, load address and heap. False when the
// process ended meanwhile.
bool LinuxToolHelp::ReadProgram(const ProcDir& dir, const ProcStat& stat, ProcessFacts& facts)
{
    facts.kernelThread = stat.IsKernelThread();
    if (facts.kernelThread) {
        facts.exeName = Widen("[" + stat.comm + "]");
        facts.heapVsize = stat.vsize;  // no user memory
        facts.heapRss = stat.rss;
        return true;
    }
    switch (dir.ReadLink("exe", facts.exeTarget)) {
    case ProcRead::kOk:
        facts.exeName = Widen(std::string(FileNameOf(WithoutDeleted(facts.exeTarget))));
        break;
    case ProcRead::kGone:
        return false;  // it ended (or exited and is a zombie now) after its stat was read
    default:
        facts.exeTarget.clear();
        facts.exeName = Widen(stat.comm);  // an exe we may not read
        break;
    }
    return ReadHeap(dir, stat, HeapRead::kProgram, facts);
}

// The heap figures: the blocks are the private anonymous regions of maps, the
// bytes the private anonymous memory in use (status), never the address space
// the regions reserve.
bool LinuxToolHelp::ReadHeap(const ProcDir& dir, const ProcStat& stat, HeapRead what, ProcessFacts& facts)
{
    if (what != HeapRead::kBytes) {
        const ProcRead maps = dir.Read("maps", mapsText_);
        if (maps == ProcRead::kGone) return false;
        const MapsSummary summary = maps == ProcRead::kOk ? SummarizeMaps(mapsText_, facts.exeTarget) : MapsSummary{};
        if (what == HeapRead::kProgram) facts.memoryBase = summary.loadAddress;
        facts.heap.blocks = summary.heap.blocks;
        facts.heapVsize = stat.vsize;
    }
    const ProcRead status = dir.Read("status", statusText_);
    if (status == ProcRead::kGone) return false;
    facts.heap.bytes = status == ProcRead::kOk ? AnonymousInUse(statusText_) : 0;
    facts.heapRss = stat.rss;
    return true;
}

uint32_t LinuxToolHelp::RomFlag(const std::wstring& path) const
{
    if (!mounts_.empty()) return mounts_.ReadOnly(Narrow(path)) ? kModuleInRom : 0u;
    // No mount table to read: ask for the path itself.
    struct statvfs fs {};
    return ::statvfs(Narrow(path).c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0 ? kModuleInRom : 0u;
}

void LinuxToolHelp::LoadMounts()
{
    // The module snapshots between two process walks (one per process in a
    // Module usage refresh) share one reading of the table.
    if (mountsEpoch_ == processEpoch_ && mountsEpoch_ != 0) return;
    mountsEpoch_ = processEpoch_;
    std::string text;
    if (ReadFileAt(root_.get(), "self/mountinfo", text) != ProcRead::kOk || !mounts_.Parse(text)) mounts_ = MountTable{};
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
    if (allProcesses) ++processEpoch_;
    if ((flags & kSnapModule) != 0) LoadMounts();
    if (allProcesses) {
        Dir list(root_.get(), ".");
        if (!list.valid()) {
            FailWithErrno();
            return std::nullopt;
        }
        std::unordered_map<uint32_t, size_t> moduleIndex;
        while (const dirent* entry = list.Next()) {
            uint32_t pid = 0;
            if (!ParsePid(entry->d_name, pid)) continue;
            const uint32_t perProcess = (flags & kSnapThread) != 0 && processId != 0 && pid != processId
                                            ? (flags & kSnapProcess)
                                            : (flags & (kSnapProcess | kSnapThread));
            const bool moreThanStat = (perProcess & kSnapThread) != 0 || ((flags & kSnapModule) != 0 && processId == 0);
            if (!moreThanStat && ReadKnownProcess(pid, perProcess, snapshot)) continue;
            const ProcDir dir(root_.get(), entry->d_name);
            if (!dir.valid()) continue;  // ended between the listing and the open
            if (!ReadProcess(dir, pid, perProcess, snapshot)) continue;
            if ((flags & kSnapModule) != 0 && processId == 0 && !facts_[pid].kernelThread &&
                dir.Read("maps", mapsText_) == ProcRead::kOk)
                AddSystemModules(snapshot, moduleIndex, pid, mapsText_);
        }
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
            ReadTaskThreads(dir, pid, dir.Stat(owner) ? owner.st_uid : 0, statText_, snapshot.threads);
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
                for (ModuleEntry& module : snapshot.modules) {
                    module.flags = RomFlag(module.exePath);
                    module.globalUsage = census_.UsersOf(root_.get(), processEpoch_, module.moduleId);
                }
            }
        }
    }
    return snapshot;
}

std::optional<std::vector<HeapEntry>> LinuxToolHelp::HeapEntries(uint32_t processId, uint64_t heapId)
{
    const uint32_t pid = processId != 0 ? processId : static_cast<uint32_t>(::getpid());
    return ReadHeapEntries(ProcDir(root_.get(), std::to_string(pid).c_str()), pid, heapId, snapshotSerial_, smaps_);
}

bool LinuxToolHelp::GetThreadTimes(uint32_t threadId, ThreadTimes& times)
{
    ProcStat stat;
    const ProcRead read = ReadThreadStat(root_.get(), threadId, statText_, stat);
    if (read != ProcRead::kOk) return FailRead(read);
    times = ThreadTimesOf(stat);
    return true;
}

int LinuxToolHelp::GetThreadPriority(uint32_t threadId)
{
    ProcStat stat;
    const ProcRead read = ReadThreadStat(root_.get(), threadId, statText_, stat);
    if (read != ProcRead::kOk) {
        FailRead(read);
        return kThreadPriorityError;
    }
    const int level = LevelFromPolicyNice(static_cast<int>(stat.policy), static_cast<int>(stat.nice));
    if (level == kThreadPriorityError) Fail(EINVAL);
    return level;
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
    if (facts.kernelThread || (facts.heapVsize == facts.vsize && facts.heapRss == facts.rss)) return facts.heap;

    // The resident or virtual size changed since the heap was read: read it again,
    // through a fresh handle whose start time proves it is still the same process.
    const ProcDir dir(root_.get(), std::to_string(processId).c_str());
    std::optional<ProcStat> stat;
    if (dir.Read("stat", statText_) == ProcRead::kOk) stat = ParseProcStat(statText_);
    if (!stat || stat->startTime != facts.startTime || 
        !ReadHeap(dir, *stat, facts.heapVsize != stat->vsize ? HeapRead::kBytesAndBlocks : HeapRead::kBytes, facts)) {
        Fail(ESRCH);
        return std::nullopt;
    }
    facts.vsize = stat->vsize;
    facts.rss = stat->rss;
    return facts.heap;
}

}  // namespace

std::unique_ptr<ToolHelp> CreateLinuxToolHelp(const LinuxRoots& roots) { return std::make_unique<LinuxToolHelp>(roots); }

}  // namespace kestrun::platform::linux_backend
