// The Linux tool help against fixture /proc trees and against the real /proc.
#include "platform/LastError.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrun::platform::linux_backend {
namespace {

namespace fs = std::filesystem;

fs::path FixtureRoot(const char* name)
{
    const char* source = std::getenv("KESTRUN_SOURCE_DIR");
    return fs::path(source != nullptr ? source : "/work/main") / "tests/fixtures/proc" / name;
}

uint64_t Ticks(uint64_t ticks) { return ticks * (10000000ull / static_cast<uint64_t>(::sysconf(_SC_CLK_TCK))); }

std::unique_ptr<ToolHelp> ToolHelpAt(const fs::path& root)
{
    LinuxRoots roots;
    roots.proc = root.string();
    return CreateLinuxToolHelp(roots);
}

const ProcessEntry* Find(const Snapshot& snapshot, uint32_t pid)
{
    const auto it = std::find_if(snapshot.processes.begin(), snapshot.processes.end(),
                                 [pid](const ProcessEntry& p) { return p.processId == pid; });
    return it == snapshot.processes.end() ? nullptr : &*it;
}

// A writable copy of a fixture tree, removed afterwards.
class FixtureCopy {
public:
    explicit FixtureCopy(const char* name)
    {
        char pattern[] = "/tmp/kestrun-proc-XXXXXX";
        root_ = ::mkdtemp(pattern);
        fs::copy(FixtureRoot(name), root_, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        fs::permissions(root_, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    }
    ~FixtureCopy()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const fs::path& root() const { return root_; }
    void Write(const std::string& relative, const std::string& text) const { std::ofstream(root_ / relative) << text; }
    // The process pid as it is once it runs exe: its link, maps and stat line.
    void RunProgram(int pid, const std::string& exe, const std::string& maps, const std::string& stat) const
    {
        const fs::path dir = root_ / std::to_string(pid);
        fs::create_directories(dir);
        fs::remove(dir / "exe");
        fs::create_symlink(exe, dir / "exe");
        Write(std::to_string(pid) + "/maps", maps);
        Write(std::to_string(pid) + "/stat", stat);
    }

private:
    fs::path root_;
};

std::string Stat(int pid, const std::string& comm, int start, uint64_t vsize, uint64_t rss = 10, uint64_t startCode = 0x401000)
{
    return std::to_string(pid) + " (" + comm + ") S 1 1 1 0 -1 4194560 0 0 0 0 7 3 0 0 20 0 1 0 " + std::to_string(start) +
           " " + std::to_string(vsize) + " " + std::to_string(rss) + " 0 " + std::to_string(startCode) +
           " 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0\n";
}

TEST(LinuxProcessSnapshot, ListsLivingProcessesAndSkipsVanishedOnes)
{
    auto toolHelp = ToolHelpAt(FixtureRoot("basic"));
    const auto snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(snapshot);
    std::vector<uint32_t> pids;
    for (const auto& p : snapshot->processes) pids.push_back(p.processId);
    std::sort(pids.begin(), pids.end());
    EXPECT_EQ(pids, (std::vector<uint32_t>{1, 2, 100}));  // 200 has no stat, 300 an empty one
}

TEST(LinuxProcessSnapshot, ReadsNameThreadsLoadAddressAndSystemProcesses)
{
    auto toolHelp = ToolHelpAt(FixtureRoot("basic"));
    const auto snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(snapshot);
    const ProcessEntry* program = Find(*snapshot, 100);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->exeFile, L"x) S 1 (y z");
    EXPECT_EQ(program->threadCount, 2u);
    EXPECT_EQ(program->parentProcessId, 1u);
    EXPECT_EQ(program->memoryBase, 0x55d0c0a3e000u);
    EXPECT_FALSE(program->systemProcess);

    const ProcessEntry* kernel = Find(*snapshot, 2);
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(kernel->exeFile, L"[kthreadd]");
    EXPECT_EQ(kernel->memoryBase, 0u);
    EXPECT_TRUE(kernel->systemProcess);

    const ProcessEntry* init = Find(*snapshot, 1);
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init->exeFile, L"init");
    EXPECT_TRUE(init->systemProcess);
}

TEST(LinuxProcessSums, CpuFromTheProcessStatAndHeapFromItsMaps)
{
    auto toolHelp = ToolHelpAt(FixtureRoot("basic"));
    EXPECT_TRUE(toolHelp->HasCheapProcessSums());
    const auto snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(snapshot);
    const ProcessCpu cpu = toolHelp->SumThreadTimes(*snapshot, 100);
    EXPECT_EQ(cpu.cpuTime, Ticks(120 + 30));  // the process's own line, ended threads included
    EXPECT_EQ(cpu.primaryThread, 100u);
    const auto heap = toolHelp->SumHeap(100);
    ASSERT_TRUE(heap);
    EXPECT_EQ(heap->blocks, 5u);  // the private anonymous regions, the reserve among them
    // The memory in use (RssAnon + VmSwap), not the 64 GiB the regions reserve.
    EXPECT_EQ(heap->bytes, (5120u + 256u) * 1024u);
    const auto kernelHeap = toolHelp->SumHeap(2);
    ASSERT_TRUE(kernelHeap);
    EXPECT_EQ(kernelHeap->blocks, 0u);
}

std::string Status(uint64_t anonKb, uint64_t swapKb)
{
    return "Name:\tinit\nState:\tS (sleeping)\nRssAnon:\t" + std::to_string(anonKb) + " kB\nVmSwap:\t" + std::to_string(swapKb) +
           " kB\n";
}

TEST(LinuxProcessSums, HeapIsReadAgainOnlyWhenStatShowsAnotherSize)
{
    FixtureCopy copy("basic");
    auto toolHelp = ToolHelpAt(copy.root());
    copy.Write("1/stat", Stat(1, "init", 1, 9999999, 10));
    ASSERT_TRUE(toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0));
    ASSERT_EQ(toolHelp->SumHeap(1)->blocks, 1u);
    ASSERT_EQ(toolHelp->SumHeap(1)->bytes, 2100u * 1024);

    // Same sizes in stat: neither maps nor status is read again.
    copy.Write("1/maps", "5600ab000000-5600ab021000 rw-p 00000000 00:00 0 [heap]\n7f00-8f00 rw-p 00000000 00:00 0\n");
    copy.Write("1/status", Status(3000, 8));
    ASSERT_TRUE(toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0));
    EXPECT_EQ(toolHelp->SumHeap(1)->blocks, 1u);
    EXPECT_EQ(toolHelp->SumHeap(1)->bytes, 2100u * 1024);

    // Another resident size: the memory in use is read again, the regions are not.
    copy.Write("1/stat", Stat(1, "init", 1, 9999999, 11));
    ASSERT_TRUE(toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0));
    EXPECT_EQ(toolHelp->SumHeap(1)->bytes, (3000u + 8u) * 1024);
    EXPECT_EQ(toolHelp->SumHeap(1)->blocks, 1u);

    // Another virtual size: both.
    copy.Write("1/stat", Stat(1, "init", 1, 8888888, 11));
    copy.Write("1/status", Status(3100, 8));
    ASSERT_TRUE(toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0));
    EXPECT_EQ(toolHelp->SumHeap(1)->blocks, 2u);
    EXPECT_EQ(toolHelp->SumHeap(1)->bytes, (3100u + 8u) * 1024);
}

TEST(LinuxProcessSnapshot, ExecReadsNameLoadAddressAndHeapAgain)
{
    FixtureCopy copy("basic");
    auto toolHelp = ToolHelpAt(copy.root());
    copy.Write("100/stat", Stat(100, "x) S 1 (y z", 5000, 10485760, 300, 0x55d0c0a40000));
    auto first = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(first);
    const uint32_t image = Find(*first, 100)->image;
    const uint64_t start = Find(*first, 100)->startTime;
    ASSERT_EQ(toolHelp->SumHeap(100)->blocks, 5u);

    // The same process (same start) runs another program, with the same sizes in stat.
    copy.Write("100/status", Status(40, 0));
    copy.RunProgram(100, "/usr/bin/python3.11",
                    "400000-401000 r--p 00000000 fe:00 9 /usr/bin/python3.11\n500000-501000 rw-p 00000000 00:00 0\n",
                    Stat(100, "python3", 5000, 10485760, 300, 0x401000));
    auto second = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(second);
    const ProcessEntry* renamed = Find(*second, 100);
    ASSERT_NE(renamed, nullptr);
    EXPECT_EQ(renamed->exeFile, L"python3.11");
    EXPECT_EQ(renamed->memoryBase, 0x400000u);
    EXPECT_EQ(renamed->startTime, start);
    EXPECT_NE(renamed->image, image);
    EXPECT_EQ(toolHelp->SumHeap(100)->blocks, 1u);
    EXPECT_EQ(toolHelp->SumHeap(100)->bytes, 40u * 1024);

    // A program that keeps its command name is told by where its text starts.
    copy.RunProgram(100, "/opt/python3", "600000-601000 r--p 00000000 fe:00 10 /opt/python3\n",
                    Stat(100, "python3", 5000, 10485760, 300, 0x601000));
    auto third = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(third);
    EXPECT_EQ(Find(*third, 100)->memoryBase, 0x600000u);
    EXPECT_EQ(Find(*third, 100)->exeFile, L"python3");
    EXPECT_NE(Find(*third, 100)->image, renamed->image);

    // Nothing changed: the same program, the same image.
    auto fourth = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(fourth);
    EXPECT_EQ(Find(*fourth, 100)->image, Find(*third, 100)->image);

    // Mid-exec: the new address space holds only the stack, its text is not
    // mapped yet, while exe and comm already name the new program. The row
    // stays as it was until the program is in place.
    const std::string stackOnly = "7ffc0000-7ffd0000 rw-p 00000000 00:00 0 [stack]\n";
    copy.RunProgram(100, "/usr/bin/true", stackOnly, Stat(100, "true", 5000, 135168, 2, 0));
    // And a process seen first in that state is not listed half read.
    copy.RunProgram(700, "/usr/bin/true", stackOnly, Stat(700, "true", 9100, 135168, 2, 0));
    copy.Write("700/status", Status(4, 0));
    auto midExec = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(midExec);
    ASSERT_NE(Find(*midExec, 100), nullptr);
    EXPECT_EQ(Find(*midExec, 100)->exeFile, L"python3");
    EXPECT_EQ(Find(*midExec, 100)->memoryBase, 0x600000u);
    EXPECT_EQ(Find(*midExec, 100)->image, Find(*third, 100)->image);
    EXPECT_EQ(Find(*midExec, 700), nullptr);

    const std::string mappedTrue = "5000000-5001000 r-xp 00000000 fe:00 11 /usr/bin/true\n";
    copy.RunProgram(100, "/usr/bin/true", mappedTrue, Stat(100, "true", 5000, 135168, 2, 0x5000000));
    copy.RunProgram(700, "/usr/bin/true", mappedTrue, Stat(700, "true", 9100, 135168, 2, 0x5000000));
    auto mapped = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(mapped);
    for (const uint32_t pid : {100u, 700u}) {
        ASSERT_NE(Find(*mapped, pid), nullptr) << pid;
        EXPECT_EQ(Find(*mapped, pid)->exeFile, L"true");
        EXPECT_EQ(Find(*mapped, pid)->memoryBase, 0x5000000u);
    }
}

TEST(LinuxProcessSnapshot, ProcessThatEndsBeforeItsFirstCompleteReadIsLeftOut)
{
    FixtureCopy copy("basic");
    // 400 ended after its stat was read: no program, no status any more.
    fs::create_directories(copy.root() / "400");
    copy.Write("400/stat", Stat(400, "brief", 7000, 4096, 1));
    // 500 is a zombie: it ended before it was ever listed.
    fs::create_directories(copy.root() / "500");
    std::string zombie = Stat(500, "gone", 7001, 0, 0);
    zombie.replace(zombie.rfind(") S ") + 2, 1, "Z");
    copy.Write("500/stat", zombie);
    copy.Write("500/status", "Name:\tgone\nState:\tZ (zombie)\n");
    // 600 lost its status between its maps and the end of its read.
    fs::create_directories(copy.root() / "600");
    copy.Write("600/stat", Stat(600, "brief", 7002, 4096, 1));
    fs::create_symlink("/usr/bin/brief", copy.root() / "600/exe");
    copy.Write("600/maps", "");

    auto toolHelp = ToolHelpAt(copy.root());
    auto snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(Find(*snapshot, 400), nullptr);
    EXPECT_EQ(Find(*snapshot, 500), nullptr);
    EXPECT_EQ(Find(*snapshot, 600), nullptr);
    EXPECT_NE(Find(*snapshot, 100), nullptr);

    // A listed process that becomes a zombie keeps its name until it is reaped.
    std::string ended = Stat(100, "x) S 1 (y z", 5000, 0, 0);
    ended.replace(ended.rfind(") S ") + 2, 1, "Z");
    copy.Write("100/stat", ended);
    fs::remove(copy.root() / "100/exe");
    copy.Write("100/maps", "");
    copy.Write("100/status", "Name:\tx\nState:\tZ (zombie)\n");
    snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(snapshot);
    ASSERT_NE(Find(*snapshot, 100), nullptr);
    EXPECT_EQ(Find(*snapshot, 100)->exeFile, L"x) S 1 (y z");
    const auto heap = toolHelp->SumHeap(100);
    ASSERT_TRUE(heap);
    EXPECT_EQ(heap->bytes, 0u);
}

TEST(LinuxProcessSnapshot, ReusedPidIsANewProcess)
{
    FixtureCopy copy("basic");
    auto toolHelp = ToolHelpAt(copy.root());
    auto first = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(Find(*first, 100)->exeFile, L"x) S 1 (y z");

    // Same PID, later start, another program, same virtual size.
    fs::remove_all(copy.root() / "100");
    fs::create_directories(copy.root() / "100");
    copy.Write("100/stat", Stat(100, "other", 9000, 10485760));
    fs::create_symlink("/usr/bin/other", copy.root() / "100/exe");
    copy.Write("100/maps", "400000-401000 r-xp 00000000 fe:00 9 /usr/bin/other\n500000-501000 rw-p 00000000 00:00 0\n");
    copy.Write("100/status", "Name:\tother\nRssAnon:\t12 kB\nVmSwap:\t0 kB\n");
    auto second = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    ASSERT_TRUE(second);
    EXPECT_EQ(Find(*second, 100)->exeFile, L"other");
    EXPECT_EQ(Find(*second, 100)->memoryBase, 0x400000u);
    EXPECT_NE(Find(*second, 100)->startTime, Find(*first, 100)->startTime);
    EXPECT_EQ(toolHelp->SumHeap(100)->blocks, 1u);
    EXPECT_EQ(toolHelp->SumHeap(100)->bytes, 12u * 1024);
}

TEST(LinuxProcessSnapshot, UnreadableMapsGiveZerosAndNoError)
{
    FixtureCopy copy("basic");
    fs::permissions(copy.root() / "100/maps", fs::perms::none);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::seteuid(65534), 0);  // root reads any file: act as nobody
    }
    auto toolHelp = ToolHelpAt(copy.root());
    SetLastError(0);
    const auto snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    const auto heap = toolHelp->SumHeap(100);
    const auto heapLists = toolHelp->CreateSnapshot(kSnapHeapList, 100);
    if (root) {
        ASSERT_EQ(::seteuid(0), 0);
    }
    ASSERT_TRUE(snapshot);
    const ProcessEntry* program = Find(*snapshot, 100);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->exeFile, L"x) S 1 (y z");
    EXPECT_EQ(program->memoryBase, 0u);
    ASSERT_TRUE(heap);
    EXPECT_EQ(heap->blocks, 0u);
    EXPECT_EQ(heap->bytes, (5120u + 256u) * 1024u);  // status is everyone's to read
    ASSERT_TRUE(heapLists);
    EXPECT_TRUE(heapLists->heapLists.empty());
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(LinuxThreadSnapshot, ListsTheThreadsOfTheProcessWithTheirLevels)
{
    auto toolHelp = ToolHelpAt(FixtureRoot("basic"));
    const auto snapshot = toolHelp->CreateSnapshot(kSnapThread, 100);
    ASSERT_TRUE(snapshot);
    ASSERT_EQ(snapshot->threads.size(), 2u);
    auto threads = snapshot->threads;
    std::sort(threads.begin(), threads.end(), [](const auto& a, const auto& b) { return a.threadId < b.threadId; });
    EXPECT_EQ(threads[0].threadId, 100u);
    EXPECT_EQ(threads[0].basePriority, 4);  // nice 5
    EXPECT_EQ(threads[1].threadId, 101u);
    EXPECT_EQ(threads[1].basePriority, 1);  // nice -10
    EXPECT_EQ(threads[1].ownerProcessId, 100u);
    EXPECT_EQ(threads[1].currentProcessId, 100u);
}

TEST(LinuxThreadTimes, KernelAndUserFromTheThreadsOwnLine)
{
    auto toolHelp = ToolHelpAt(FixtureRoot("basic"));
    ThreadTimes times;
    ASSERT_TRUE(toolHelp->GetThreadTimes(100, times));
    EXPECT_EQ(times.kernel.Value(), Ticks(20));
    EXPECT_EQ(times.user.Value(), Ticks(100));
    EXPECT_EQ(times.exit.Value(), 0u);
    EXPECT_GT(times.creation.Value(), kUnixEpochAsFileTime);  // after 1970
    EXPECT_EQ(toolHelp->GetThreadPriority(100), 4);
    EXPECT_FALSE(toolHelp->GetThreadTimes(4242, times));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
}

TEST(LinuxOpenProcess, RefusesNoProcessAndKernelThreads)
{
    auto toolHelp = ToolHelpAt(FixtureRoot("basic"));
    EXPECT_EQ(toolHelp->OpenProcess(0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
    EXPECT_EQ(toolHelp->OpenProcess(0x80000000u), nullptr);
    EXPECT_EQ(toolHelp->OpenProcess(2), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EPERM));
    EXPECT_EQ(toolHelp->OpenProcess(200), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
    EXPECT_EQ(toolHelp->SetProcPermissions(0), 0xFFFFFFFFu);
}

TEST(LinuxLiveProcesses, OwnProcessAppearsWithItsThreadCount)
{
    std::atomic<bool> stop{false};
    std::thread helper([&stop] {
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    auto toolHelp = ToolHelpAt("/proc");
    const auto snapshot = toolHelp->CreateSnapshot(kSnapProcess | kSnapNoHeaps, 0);
    const auto threads = toolHelp->CreateSnapshot(kSnapThread, static_cast<uint32_t>(::getpid()));
    stop = true;
    helper.join();
    ASSERT_TRUE(snapshot);
    const ProcessEntry* self = Find(*snapshot, static_cast<uint32_t>(::getpid()));
    ASSERT_NE(self, nullptr);
    EXPECT_GE(self->threadCount, 2u);
    EXPECT_EQ(self->exeFile, Widen(fs::read_symlink("/proc/self/exe").filename().string()));
    EXPECT_NE(self->memoryBase, 0u);
    EXPECT_EQ(self->accessKey, ::geteuid());
    ASSERT_TRUE(threads);
    EXPECT_GE(threads->threads.size(), 2u);
}

TEST(LinuxLiveProcesses, TerminateEndsTheChildWithSignalNine)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    auto toolHelp = ToolHelpAt("/proc");
    auto handle = toolHelp->OpenProcess(static_cast<uint32_t>(child));
    ASSERT_NE(handle, nullptr);
    const auto path = handle->ModuleFileName();
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, Widen(fs::read_symlink("/proc/self/exe").string()));
    EXPECT_TRUE(handle->Terminate(-1));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    // Reaped: the handle never reaches a process that reuses the number.
    EXPECT_FALSE(handle->Terminate(-1));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ESRCH));
}

}  // namespace
}  // namespace kestrun::platform::linux_backend
